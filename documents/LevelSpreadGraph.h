#pragma once
// The record editor's bar graph of a logger's 50 readings, drawn as one widget: per reading a level bar
// standing on the level base line, a spread bar hanging below the date strips, and a date strip that shows
// the reading's date as its tooltip. Both bars of a reading are green while level minus spread is below 15,
// red otherwise; a strip is yellow, or black for the reading picked in the list.
#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

class LevelSpreadGraph : public QWidget {
    Q_OBJECT
public:
    static constexpr int kItems = 50;

    // Design lines of the graph, in the widget's pixels.
    static constexpr int linLevelAxisX = 34;          // left edge of the columns
    static constexpr int LineWinRightWithGraph = 484; // right edge of the columns
    static constexpr int linLevelMaxY = 22;           // top of the level scale
    static constexpr int linLevelMinY = 122;          // bottom of the level scale, top of the date strips
    static constexpr int linLevelAxisY = 121;         // the line level bars stand on
    static constexpr int linSpreadMinY1 = 140;        // bottom of the date strips
    static constexpr int linSpreadMinY2 = 141;        // the line spread bars hang from
    static constexpr int linSpreadMaxY = 241;         // bottom of the spread scale

    static const QColor Red;
    static const QColor Green;
    static const QColor Yellow;
    static const QColor Black;

    struct Item {
        QString date;
        int16_t level = 0;
        int16_t spread = 0;
        QRect levelBar;  // shpLevel
        QRect spreadBar; // shpSpread
        QRect strip;     // lblDate
        QColor fill;
        QColor stripColour;
    };

    explicit LevelSpreadGraph(QWidget* parent = nullptr);

    // Draws column 0..49 from one reading (values outside 0..99 are drawn at the nearer end of the scale).
    void SetLevelAndSpreadGraphItem(int index, const QString& dateText, int16_t level, int16_t spread);
    // Every column back to an empty reading.
    void reset();
    // Marks the strip of a column black (-1: none); the strip marked before turns yellow again.
    void markStrip(int index);

    const Item& item(int index) const { return items_[static_cast<size_t>(index)]; }
    // The column under a point, or -1.
    int columnAt(const QPoint& point) const;
    void setTitles(const QString& level, const QString& spread);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::array<Item, kItems> items_;
    int marked_ = -1;
    QString levelTitle_;
    QString spreadTitle_;
};
