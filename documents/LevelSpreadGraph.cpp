#include "documents/LevelSpreadGraph.h"

#include "platform/VbRuntime.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

const QColor LevelSpreadGraph::Red(255, 0, 0);
const QColor LevelSpreadGraph::Green(0, 255, 0);
const QColor LevelSpreadGraph::Yellow(255, 255, 0);
const QColor LevelSpreadGraph::Black(0, 0, 0);

namespace {
constexpr int kLeakMargin = 15;
constexpr double kFullScale = 99;
} // namespace

LevelSpreadGraph::LevelSpreadGraph(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("LevelSpreadGraph"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Columns share the width; only each right edge is rounded, so the columns close up without gaps.
    const double left = linLevelAxisX;
    const double step = (LineWinRightWithGraph - left) / kItems;
    for (int i = 0; i < kItems; ++i) {
        const int x = static_cast<int>(std::lround(i * step + left));
        const int w = static_cast<int>(std::lround((i + 1) * step + left)) - x;
        Item& it = items_[static_cast<size_t>(i)];
        it.strip = QRect(x, linLevelMinY, w, linSpreadMinY1 - linLevelMinY);
        it.levelBar = QRect(x, linLevelAxisY + 1, w, 0);
        it.spreadBar = QRect(x, linSpreadMinY2, w, 0);
    }
    reset();
}

QSize LevelSpreadGraph::sizeHint() const {
    return {LineWinRightWithGraph + 8, linSpreadMaxY + 20};
}

void LevelSpreadGraph::setTitles(const QString& level, const QString& spread) {
    levelTitle_ = level;
    spreadTitle_ = spread;
    update();
}

void LevelSpreadGraph::reset() {
    marked_ = -1;
    for (int i = 0; i < kItems; ++i)
        SetLevelAndSpreadGraphItem(i, QString(), 0, 0);
}

void LevelSpreadGraph::SetLevelAndSpreadGraphItem(int index, const QString& dateText, int16_t level, int16_t spread) {
    if (index < 0 || index >= kItems)
        return;
    Item& it = items_[static_cast<size_t>(index)];
    it.date = dateText;
    it.level = level;
    it.spread = spread;
    const int levelRange = linLevelMinY - linLevelMaxY;
    const int spreadRange = linSpreadMaxY - linSpreadMinY2;
    // The readings check lets only 0..99 into a record, but files may hold anything: such a bar is drawn
    // at the nearer end of its scale instead of across the strips or upside down.
    const double l = std::clamp<double>(level, 0, kFullScale);
    const double s = std::clamp<double>(spread, 0, kFullScale);
    const int lh = static_cast<int>(std::lround(levelRange * (l / kFullScale)));
    const int sh = static_cast<int>(std::lround(spreadRange * (s / kFullScale)));
    it.levelBar = QRect(it.levelBar.x(), linLevelAxisY - lh + 1, it.levelBar.width(), lh);
    it.spreadBar = QRect(it.spreadBar.x(), linSpreadMinY2, it.spreadBar.width(), sh);
    it.fill = plat::vb::wrap16(level - spread) < kLeakMargin ? Green : Red;
    it.stripColour = Yellow;
    if (marked_ == index)
        marked_ = -1;
    update();
}

void LevelSpreadGraph::markStrip(int index) {
    if (marked_ >= 0)
        items_[static_cast<size_t>(marked_)].stripColour = Yellow;
    marked_ = index >= 0 && index < kItems ? index : -1;
    if (marked_ >= 0)
        items_[static_cast<size_t>(marked_)].stripColour = Black;
    update();
}

int LevelSpreadGraph::columnAt(const QPoint& point) const {
    for (int i = 0; i < kItems; ++i) {
        const QRect& s = items_[static_cast<size_t>(i)].strip;
        if (point.x() >= s.left() && point.x() <= s.right())
            return i;
    }
    return -1;
}

bool LevelSpreadGraph::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const int i = columnAt(help->pos());
        const bool onStrip = i >= 0 && items_[static_cast<size_t>(i)].strip.contains(help->pos());
        if (onStrip && !items_[static_cast<size_t>(i)].date.trimmed().isEmpty())
            QToolTip::showText(help->globalPos(), items_[static_cast<size_t>(i)].date, this,
                               items_[static_cast<size_t>(i)].strip);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(e);
}

void LevelSpreadGraph::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    const QColor grid = palette().color(QPalette::Mid);
    const QColor text = palette().color(QPalette::Text);
    const int left = linLevelAxisX;
    const int right = LineWinRightWithGraph;

    // Scale: the limits of both scales, faint lines at the quarters, and the two titles.
    p.setPen(QPen(grid, 1, Qt::DotLine));
    for (int q = 1; q < 4; ++q) {
        const int ly = linLevelMinY - (linLevelMinY - linLevelMaxY) * q / 4;
        const int sy = linSpreadMinY2 + (linSpreadMaxY - linSpreadMinY2) * q / 4;
        p.drawLine(left, ly, right, ly);
        p.drawLine(left, sy, right, sy);
    }
    p.setPen(QPen(grid, 1));
    p.drawLine(left, linLevelMaxY, right, linLevelMaxY);
    p.drawLine(left, linSpreadMaxY, right, linSpreadMaxY);

    for (const Item& it : items_) {
        p.fillRect(it.strip.adjusted(0, 0, -1, 0), it.stripColour);
        if (it.levelBar.height() > 0) {
            p.fillRect(it.levelBar.adjusted(0, 0, -1, 0), it.fill);
            p.setPen(it.fill.darker(160));
            p.drawRect(it.levelBar.adjusted(0, 0, -2, -1));
        }
        if (it.spreadBar.height() > 0) {
            p.fillRect(it.spreadBar.adjusted(0, 0, -1, 0), it.fill);
            p.setPen(it.fill.darker(160));
            p.drawRect(it.spreadBar.adjusted(0, 0, -2, -1));
        }
    }

    p.setPen(QPen(text, 1));
    p.drawLine(left - 1, linLevelMaxY - 4, left - 1, linSpreadMaxY + 4); // linLevelAxis
    p.drawLine(left - 1, linLevelAxisY, right, linLevelAxisY);
    p.drawLine(left - 1, linSpreadMinY2 - 1, right, linSpreadMinY2 - 1);

    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1));
    p.setFont(small);
    const QFontMetrics fm(small);
    auto rightAligned = [&](int y, const QString& s) {
        p.drawText(QRect(0, y - fm.height() / 2, left - 5, fm.height()), Qt::AlignRight | Qt::AlignVCenter, s);
    };
    rightAligned(linLevelMaxY, QStringLiteral("99"));      // lblLevelMax
    rightAligned(linLevelAxisY - 4, QStringLiteral("0"));  // lblLevelMin
    rightAligned(linSpreadMinY2 + 4, QStringLiteral("0")); // lblSpreadMin
    rightAligned(linSpreadMaxY, QStringLiteral("99"));     // lblSpreadMax
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.drawText(QRect(left, 2, right - left, linLevelMaxY - 4), Qt::AlignLeft | Qt::AlignVCenter, levelTitle_);
    p.drawText(QRect(left, linSpreadMaxY + 2, right - left, height() - linSpreadMaxY - 2),
               Qt::AlignLeft | Qt::AlignVCenter, spreadTitle_);
}
