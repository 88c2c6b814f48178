#include "platform/TextCodec.h"

#include <QFile>

#include <array>

namespace plat {
namespace {
// 0x80..0x9F of Windows-1252; 0 marks the five unassigned bytes, which map to the C1 control of that number.
constexpr std::array<char16_t, 32> kHigh = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                            0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
} // namespace

QString fromAnsi(std::string_view bytes) {
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* d = out.data();
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x80 && b < 0xA0 && kHigh[b - 0x80] != 0)
            d[i] = QChar(kHigh[b - 0x80]);
        else
            d[i] = QChar(b);
    }
    return out;
}

std::string toAnsi(const QString& text) {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        char mapped = '?';
        for (size_t k = 0; k < kHigh.size(); ++k) {
            if (kHigh[k] == u && u != 0) {
                mapped = static_cast<char>(0x80 + k);
                break;
            }
        }
        if (u >= 0x80 && u < 0xA0) {
            // An unassigned byte read in earlier goes back out unchanged.
            const auto idx = u - 0x80;
            if (kHigh[idx] == 0)
                mapped = static_cast<char>(u);
        }
        out.push_back(mapped);
    }
    return out;
}

std::vector<std::string_view> splitLines(std::string_view data) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    const size_t n = data.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(data.substr(start, i - start));
            if (c == '\r' && i + 1 < n && data[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.push_back(data.substr(start));
    return lines;
}

bool readFileBytes(const QString& path, std::string& out) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = f.size();
    out.resize(static_cast<size_t>(size));
    if (size > 0 && f.read(out.data(), size) != size)
        return false;
    if (!f.atEnd()) {
        // Not a plain file (a pipe, a device): read the rest as it comes.
        const QByteArray rest = f.readAll();
        out.append(rest.constData(), static_cast<size_t>(rest.size()));
    }
    return f.error() == QFileDevice::NoError;
}

} // namespace plat
