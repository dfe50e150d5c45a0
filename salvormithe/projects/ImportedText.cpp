#include "projects/ImportedText.h"

#include <QTextCodec>
#include <QTextDocument>

bool decodeUtf8Text(const QByteArray& bytes, QString& text)
{
    static const QByteArray bom("\xEF\xBB\xBF");
    QByteArray body = bytes.startsWith(bom) ? bytes.mid(bom.size()) : bytes;
    QTextCodec* codec = QTextCodec::codecForName("UTF-8");
    // The mark was taken off above; a second one is text.
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    text = codec->toUnicode(body.constData(), body.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0) {
        text.clear();
        return false;
    }
    return true;
}

bool isHtmlFileName(const QString& fileName)
{
    return fileName.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
           fileName.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
}

QString importedPlainText(const QString& fileName, const QString& text)
{
    QTextDocument doc;
    if (isHtmlFileName(fileName))
        doc.setHtml(text);
    else
        doc.setPlainText(text);
    return doc.toPlainText();
}
