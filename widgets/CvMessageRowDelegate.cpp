#include "widgets/CvMessageRowDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QTextLayout>

#include "widgets/CvDataSetModel.h"

namespace {

constexpr int kMargin = 4;

}  // namespace

CvMessageRowDelegate::CvMessageRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QString CvMessageRowDelegate::Heading(const QString& sender, const QString& recipient) const {
    return QString(m_heading).replace("%1", sender).replace("%2", recipient);
}

QSize CvMessageRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const QFontMetrics metrics(option.font);
    return {0, kMargin * 2 + metrics.lineSpacing() * (1 + kTextLines) + 2};
}

void CvMessageRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    painter->save();
    const bool current = (option.state & QStyle::State_Selected) != 0;
    QColor text = option.palette.color(QPalette::Text);
    if (current) {
        const QColor background = m_highlightBackground.isValid()
                                      ? m_highlightBackground
                                      : option.palette.color(QPalette::Highlight);
        painter->fillRect(option.rect, background);
        text = m_highlightText.isValid() ? m_highlightText
                                         : option.palette.color(QPalette::HighlightedText);
    }
    // A thin line between rows.
    painter->setPen(option.palette.color(QPalette::Midlight));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());

    const QRect area = option.rect.adjusted(kMargin, kMargin, -kMargin, -kMargin);
    QFont bold = option.font;
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    const QFontMetrics metrics(option.font);

    QString time = index.data(CvDataSetModel::TimeRole).toString();
    if (m_formatTime) {
        time = m_formatTime(time);
    }
    const int timeWidth = metrics.horizontalAdvance(time);
    painter->setFont(option.font);
    painter->setPen(current ? text : option.palette.color(QPalette::PlaceholderText));
    painter->drawText(QRect(area.right() - timeWidth, area.top(), timeWidth, metrics.height()),
                      Qt::AlignRight | Qt::AlignVCenter, time);

    const QString heading = Heading(index.data(CvDataSetModel::SenderRole).toString(),
                                    index.data(CvDataSetModel::RecipientRole).toString());
    painter->setFont(bold);
    painter->setPen(text);
    const int headingWidth = std::max(0, area.width() - timeWidth - 2 * kMargin);
    painter->drawText(QRect(area.left(), area.top(), headingWidth, boldMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      boldMetrics.elidedText(heading, Qt::ElideRight, headingWidth));

    // The first lines of the message, wrapped at the row's width; the last
    // one shown ends in an ellipsis when more follows.
    QString message = index.data(Qt::DisplayRole).toString();
    message.replace("\r\n", "\n").replace('\r', '\n');
    painter->setFont(option.font);
    QTextLayout layout(message, option.font);
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(textOption);
    layout.beginLayout();
    int y = area.top() + boldMetrics.lineSpacing();
    for (int line = 0; line < kTextLines; ++line) {
        QTextLine textLine = layout.createLine();
        if (!textLine.isValid()) {
            break;
        }
        textLine.setLineWidth(area.width());
        QString shown = message.mid(textLine.textStart(), textLine.textLength());
        while (shown.endsWith('\n')) {
            shown.chop(1);
        }
        const bool more = textLine.textStart() + textLine.textLength() < message.size();
        if (line == kTextLines - 1 && more) {
            shown = metrics.elidedText(shown + QChar(0x2026), Qt::ElideRight, area.width());
        }
        painter->drawText(QPoint(area.left(), y + metrics.ascent()), shown);
        y += metrics.lineSpacing();
    }
    layout.endLayout();
    painter->restore();
}
