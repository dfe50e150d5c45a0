#pragma once

#include "recording/PromptLang.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

// The new-recording form: a name (proposed free in the recording root) and
// a prompt language, checked and handed back through okPressed.
class RecordingSettingModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ getName WRITE setName NOTIFY nameChanged)
public:
    explicit RecordingSettingModel(QObject* parent = nullptr);

    QString getName() const { return name; }
    void setName(const QString& value);

signals:
    void okPressed(QString name, QString lang);
    void nameChanged();

public:
    // The native names of the languages, in list order.
    Q_INVOKABLE QStringList langs();
    Q_INVOKABLE void ok(int langIdx);

private:
    QString name;
    std::vector<PromptLang> languages;
};
