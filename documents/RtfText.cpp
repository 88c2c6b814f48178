#include "documents/RtfText.h"

#include "platform/TextCodec.h"

#include <algorithm>
#include <cctype>
#include <vector>

std::string RtfFromPlainText(const QString& text) {
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fmodern\\fcharset0 Courier New;}}\r\n"
                      "\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(u'\r', u'\n');
    for (const QChar ch : plain) {
        const char16_t c = ch.unicode();
        if (c == u'\n') {
            out += "\\par\r\n";
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            continue; // other control characters have no place in a document
        } else {
            const std::string ansi = plat::toAnsi(QString(ch));
            if (ansi.size() == 1 && ansi[0] != '?') {
                static const char kHex[] = "0123456789abcdef";
                const auto b = static_cast<unsigned char>(ansi[0]);
                out += "\\'";
                out += kHex[b >> 4];
                out += kHex[b & 15];
            } else {
                // Outside the code page: the Unicode value, with "?" for readers that do not know it.
                out += "\\u" + std::to_string(static_cast<int16_t>(c)) + "?";
            }
        }
    }
    // Every paragraph ends with its mark, the last one too, as word processors write it.
    out += "\\par\r\n}\r\n";
    return out;
}

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isDestination(const std::string& word) {
    static const char* const kHidden[] = {"fonttbl",      "colortbl",  "stylesheet", "info",      "pict",
                                          "object",       "header",    "footer",     "headerl",   "headerr",
                                          "footerl",      "footerr",   "footnote",   "listtable", "listoverridetable",
                                          "rsidtbl",      "generator", "xmlnstbl",   "themedata", "datastore",
                                          "latentstyles", "filetbl",   "revtbl",     "fldinst",   "bkmkstart",
                                          "bkmkend"};
    for (const char* h : kHidden)
        if (word == h)
            return true;
    return false;
}

} // namespace

QString PlainTextFromRtf(std::string_view rtf) {
    if (rtf.substr(0, 5) != "{\\rtf") {
        QString plain = plat::fromAnsi(rtf);
        plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        return plain;
    }
    struct State {
        bool skip = false;
        int uc = 1;
    };
    std::vector<State> stack{State{}};
    std::string ansi; // pending Windows-1252 bytes
    QString out;
    int skipAfterUnicode = 0;
    auto flush = [&] {
        if (!ansi.empty()) {
            out += plat::fromAnsi(ansi);
            ansi.clear();
        }
    };
    auto emitByte = [&](char b) {
        if (skipAfterUnicode > 0) {
            --skipAfterUnicode;
            return;
        }
        if (!stack.back().skip)
            ansi += b;
    };
    auto emitText = [&](const QString& s) {
        if (skipAfterUnicode > 0) {
            --skipAfterUnicode;
            return;
        }
        if (!stack.back().skip) {
            flush();
            out += s;
        }
    };

    size_t i = 0;
    const size_t n = rtf.size();
    while (i < n) {
        const char c = rtf[i];
        if (c == '{') {
            stack.push_back(stack.back());
            skipAfterUnicode = 0;
            ++i;
        } else if (c == '}') {
            if (stack.size() > 1)
                stack.pop_back();
            skipAfterUnicode = 0;
            ++i;
        } else if (c == '\r' || c == '\n') {
            ++i;
        } else if (c != '\\') {
            emitByte(c);
            ++i;
        } else {
            ++i;
            if (i >= n)
                break;
            const char d = rtf[i];
            if (d == '\\' || d == '{' || d == '}') {
                emitByte(d);
                ++i;
            } else if (d == '\'') {
                const int hi = i + 1 < n ? hexValue(rtf[i + 1]) : -1;
                const int lo = i + 2 < n ? hexValue(rtf[i + 2]) : -1;
                if (hi >= 0 && lo >= 0) {
                    emitByte(static_cast<char>(hi * 16 + lo));
                    i += 3;
                } else {
                    i = std::min(n, i + 3); // a broken escape is dropped with its two places
                }
            } else if (d == '*') {
                stack.back().skip = true;
                ++i;
            } else if (d == '~') {
                emitText(QString(QChar(0xA0)));
                ++i;
            } else if (d == '_') {
                emitText(QStringLiteral("-"));
                ++i;
            } else if (d == '\r' || d == '\n') {
                emitText(QStringLiteral("\n")); // a backslash before a line end is a paragraph
                ++i;
            } else if (std::isalpha(static_cast<unsigned char>(d))) {
                std::string word;
                while (i < n && std::isalpha(static_cast<unsigned char>(rtf[i])))
                    word += rtf[i++];
                bool hasParam = false;
                long param = 0;
                bool negative = false;
                if (i < n && rtf[i] == '-') {
                    negative = true;
                    ++i;
                }
                while (i < n && std::isdigit(static_cast<unsigned char>(rtf[i]))) {
                    hasParam = true;
                    if (param < 1000000)
                        param = param * 10 + (rtf[i] - '0');
                    ++i;
                }
                if (negative)
                    param = -param;
                if (i < n && rtf[i] == ' ')
                    ++i; // the delimiter belongs to the control word
                if (word == "par" || word == "line" || word == "sect" || word == "page") {
                    emitText(QStringLiteral("\n"));
                } else if (word == "tab") {
                    emitText(QStringLiteral("\t"));
                } else if (word == "u" && hasParam) {
                    const char16_t code = static_cast<char16_t>(param < 0 ? param + 65536 : param);
                    if (!stack.back().skip) {
                        flush();
                        out += QChar(code);
                    }
                    skipAfterUnicode = stack.back().uc;
                } else if (word == "uc" && hasParam) {
                    stack.back().uc = static_cast<int>(param);
                } else if (word == "emdash") {
                    emitText(QString(QChar(0x2014)));
                } else if (word == "endash") {
                    emitText(QString(QChar(0x2013)));
                } else if (word == "bullet") {
                    emitText(QString(QChar(0x2022)));
                } else if (isDestination(word)) {
                    stack.back().skip = true;
                }
            } else {
                ++i; // any other control symbol carries no text
            }
        }
    }
    flush();
    // The last paragraph's mark ends the document; it is no empty line of its own.
    if (out.endsWith(u'\n'))
        out.chop(1);
    return out;
}
