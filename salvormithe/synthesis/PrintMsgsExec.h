#pragma once

#include "synthesis/PrintMsg.h"

#include <QList>
#include <QObject>
#include <QPainter>
#include <QPagedPaintDevice>
#include <QRect>

class QTextDocument;

// Lays speech bubbles out on a paged device, one record per turn of the
// event loop, numbering the pages; emits finished when done.
class PrintMsgsExec : public QObject
{
    Q_OBJECT
public:
    explicit PrintMsgsExec(QObject* parent = nullptr);

    void setup(QPagedPaintDevice* device, QList<PrintMsg> records, bool showName);

    // False when the device could not be painted on or finished badly;
    // errorText then says why.
    bool succeeded() const { return ok; }
    QString errorText() const { return error; }
    // errno as the device was closed: the reason when its file came out short.
    int endErrno() const { return closeErrno; }
    // Ends the layout at the next record.
    void stop() { stopped = true; }

signals:
    void updateProgress(int cur, int total);
    void finished();

public slots:
    void start();
    bool printNext();
    void printNextContinue();

private:
    void beginPage();
    void drawPageNumber();
    void ensureSpace(int h);
    void newPage();
    void drawBubble(const PrintMsg& record);
    void drawBubblePart(const QPixmap& image, const QMargins& frame, const QMargins& padding,
                        QTextDocument& doc, int x, int width, int contentWidth, int top,
                        int height);

    QPagedPaintDevice* device = nullptr;
    QPainter painter;
    QRect rect;
    int y = 0;
    int pageNo = 0;
    bool showName = false;
    QList<PrintMsg> records;
    bool stopped = false;
    int current = 0;
    int total = 0;

    bool ok = true;
    QString error;
    int closeErrno = 0;
};
