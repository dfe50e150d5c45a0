#include "synthesis/PrintMsgsExec.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPixmap>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QUrl>
#include <QtWidgets/qdrawutil.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int layoutDpi = 120;
const char* const textStyleSheet = "*{text-decoration:none; color:#333333;}";

QFont bubbleFont()
{
    QFont font("Arial");
    font.setPixelSize(12);
    return font;
}

// Kept for the life of the process.
const QPixmap& leftBubble()
{
    static const QPixmap* image = new QPixmap(":/res/bb1.png");
    return *image;
}

const QPixmap& rightBubble()
{
    static const QPixmap* image = new QPixmap(":/res/bb2.png");
    return *image;
}

// Bottom edges of the document's text lines, in document coordinates, so a
// bubble split over pages is cut between lines.
std::vector<int> lineBottoms(QTextDocument& doc)
{
    std::vector<int> bottoms;
    QAbstractTextDocumentLayout* layout = doc.documentLayout();
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextLayout* tl = block.layout();
        if (!tl)
            continue;
        QPointF offset = layout->blockBoundingRect(block).topLeft() - tl->boundingRect().topLeft();
        for (int i = 0; i < tl->lineCount(); ++i) {
            QTextLine line = tl->lineAt(i);
            bottoms.push_back(int(std::floor(offset.y() + line.y() + line.height())));
        }
    }
    std::sort(bottoms.begin(), bottoms.end());
    return bottoms;
}

} // namespace

PrintMsgsExec::PrintMsgsExec(QObject* parent) : QObject(parent) {}

void PrintMsgsExec::setup(QPagedPaintDevice* device, QList<PrintMsg> records, bool showName)
{
    this->device = device;
    this->showName = showName;
    this->records = std::move(records);
    stopped = false;
}

void PrintMsgsExec::start()
{
    beginPage();
    current = 0;
    total = records.size();
    QMetaObject::invokeMethod(this, "printNextContinue", Qt::QueuedConnection);
}

void PrintMsgsExec::printNextContinue()
{
    if (printNext())
        QMetaObject::invokeMethod(this, "printNextContinue", Qt::QueuedConnection);
}

bool PrintMsgsExec::printNext()
{
    if (!stopped && current >= 0 && current < records.size()) {
        drawBubble(records.at(current));
        emit updateProgress(current, total);
        ++current;
        return true;
    }
    if (painter.isActive()) {
        errno = 0;
        const bool ended = painter.end();
        closeErrno = errno;
        if (!ended) {
            ok = false;
            error = QString("write file failed. %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    emit finished();
    return false;
}

void PrintMsgsExec::beginPage()
{
    y = 0;
    pageNo = 1;
    if (!device) {
        stopped = true;
        ok = false;
        error = "No page device.";
        return;
    }
    const QPageLayout layout = device->pageLayout();
    const QMarginsF m = layout.margins(QPageLayout::Point);
    const QRect paint = layout.paintRectPixels(layoutDpi);
    const int ml = int(m.left()), mt = int(m.top()), mr = int(m.right()), mb = int(m.bottom());
    rect = QRect(ml, mt, paint.width() - ml - mr, paint.height() - mt - mb);
    y = rect.top();

    errno = 0;
    if (!painter.begin(device)) {
        int e = errno;
        // Nothing is laid out on a device that cannot be painted on.
        stopped = true;
        ok = false;
        error = QString("create file failed. %1")
                    .arg(QString::fromLocal8Bit(std::strerror(e ? e : EIO)));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    drawPageNumber();
}

void PrintMsgsExec::drawPageNumber()
{
    painter.save();
    painter.setFont(bubbleFont());
    painter.setPen(QColor(146, 146, 165, 255));
    painter.drawText(QRect(rect.left(), rect.bottom() + 2, rect.width(), 18),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(pageNo));
    painter.restore();
}

void PrintMsgsExec::newPage()
{
    device->newPage();
    y = rect.top();
    ++pageNo;
    drawPageNumber();
}

void PrintMsgsExec::ensureSpace(int h)
{
    if (rect.height() - y < h)
        newPage();
}

void PrintMsgsExec::drawBubble(const PrintMsg& record)
{
    const bool right = record.right;
    const QPixmap& image = right ? rightBubble() : leftBubble();
    const QMargins frame = right ? QMargins(6, 19, 19, 8) : QMargins(22, 19, 8, 8);
    const QMargins padding = right ? QMargins(12, 10, 25, 10) : QMargins(25, 10, 11, 10);

    QString html = "<div>";
    if (showName) {
        html += QString("<p style=\"color:%1; text-align:%2\">%3</p>")
                    .arg(record.nameColor.toHtmlEscaped(), right ? "right" : "left",
                         record.name.toHtmlEscaped());
    }
    html += record.body + "</div>";

    QTextDocument doc;
    doc.setDefaultStyleSheet(textStyleSheet);
    doc.setDefaultFont(bubbleFont());
    doc.setBaseUrl(QUrl(record.baseUrl));
    doc.setHtml(html);

    const int minWidth = record.body.contains("<img") ? 220 : 100;
    const int wrapWidth = int(rect.width() * 0.8);
    QFontMetrics fm(doc.defaultFont());
    int natural = fm.boundingRect(QRect(0, 0, wrapWidth, 1 << 20), Qt::TextWordWrap,
                                  doc.toPlainText()).width() + 10;
    // A word longer than the wrap width must not push the bubble off the page.
    natural = std::min(natural, wrapWidth + 10);
    doc.setTextWidth(std::max(natural, minWidth));
    const QSizeF docSize = doc.size();
    const int width = std::max(int(std::ceil(docSize.width())), minWidth);
    const int height = std::max(int(std::ceil(docSize.height())), 20);

    const int bubbleWidth = width + padding.left() + padding.right();
    const int pads = padding.top() + padding.bottom();
    const int x = right ? rect.right() - bubbleWidth : rect.left();

    if (height + pads + 10 <= rect.height() - rect.top()) {
        ensureSpace(height + pads + 10);
        drawBubblePart(image, frame, padding, doc, x, bubbleWidth, width, 0, height);
        y += height + pads + 10;
        return;
    }

    // Taller than a page: start on a fresh page and continue the bubble on
    // the next pages, cut between text lines.
    if (y > rect.top())
        newPage();
    const std::vector<int> bottoms = lineBottoms(doc);
    int offset = 0;
    for (;;) {
        const int avail = std::max(rect.height() - y - 10 - pads, 20);
        int slice = height - offset;
        if (slice > avail) {
            slice = avail;
            for (int b : bottoms) {
                if (b > offset + avail)
                    break;
                if (b > offset)
                    slice = b - offset;
            }
        }
        drawBubblePart(image, frame, padding, doc, x, bubbleWidth, width, offset, slice);
        y += slice + pads + 10;
        offset += slice;
        if (offset >= height)
            break;
        newPage();
    }
}

void PrintMsgsExec::drawBubblePart(const QPixmap& image, const QMargins& frame,
                                   const QMargins& padding, QTextDocument& doc, int x, int width,
                                   int contentWidth, int top, int height)
{
    const QRect bubble(x, y + 5, width, height + padding.top() + padding.bottom());
    qDrawBorderPixmap(&painter, bubble, frame, image, image.rect(), frame);
    painter.save();
    painter.translate(bubble.left() + padding.left(), bubble.top() + padding.top() - top);
    if (top == 0 && height >= int(std::ceil(doc.size().height()))) {
        doc.drawContents(&painter, QRectF(0, 0, contentWidth, height));
    } else {
        // One part of a bubble split over pages: only the lines that lie in
        // it, so no line is drawn (hidden) twice.
        painter.setClipRect(QRectF(0, top, contentWidth, height));
        painter.setPen(QColor("#333333"));
        QAbstractTextDocumentLayout* layout = doc.documentLayout();
        for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
            QTextLayout* tl = block.layout();
            if (!tl)
                continue;
            const QPointF offset =
                layout->blockBoundingRect(block).topLeft() - tl->boundingRect().topLeft();
            for (int i = 0; i < tl->lineCount(); ++i) {
                const QTextLine line = tl->lineAt(i);
                const qreal lineTop = offset.y() + line.y();
                if (lineTop + line.height() <= top + 0.5 || lineTop >= top + height - 0.5)
                    continue;
                line.draw(&painter, offset);
            }
        }
    }
    painter.restore();
}
