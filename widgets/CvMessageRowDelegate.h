#pragma once

#include <QColor>
#include <QStyledItemDelegate>
#include <functional>

// Draws a row of a CvDataSetModel: the heading "<sender> wrote to
// <recipient>:" (by a pattern with %1 and %2) in bold with the time on the
// right, and below it the first lines of the message. All rows have the same
// height, so a view lays out a million of them without reading one.
class CvMessageRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kTextLines = 2;

    explicit CvMessageRowDelegate(QObject* parent = nullptr);

    void SetHeading(const QString& pattern) { m_heading = pattern; }
    // Formats a stored time stamp for the row; the stamp itself when unset.
    void SetTimeFormatter(std::function<QString(const QString&)> format) {
        m_formatTime = std::move(format);
    }
    // Colours of the current row; invalid colours use the palette's.
    void SetHighlight(const QColor& text, const QColor& background) {
        m_highlightText = text;
        m_highlightBackground = background;
    }
    QColor HighlightText() const { return m_highlightText; }
    QColor HighlightBackground() const { return m_highlightBackground; }

    // The heading of a row.
    QString Heading(const QString& sender, const QString& recipient) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QString m_heading = "%1 wrote to %2:";
    std::function<QString(const QString&)> m_formatTime;
    QColor m_highlightText;
    QColor m_highlightBackground;
};
