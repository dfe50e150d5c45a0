#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

// The project settings form: name, default voice and speech rate, with a
// proposed name that no project folder has yet.
class ProjectSettingFormModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString projectName READ getProjectName WRITE setProjectName NOTIFY projectNameChanged)
    Q_PROPERTY(float srate READ getSrate WRITE setSrate NOTIFY srateChanged)
    Q_PROPERTY(QVariant voice READ getVoice WRITE setVoice NOTIFY voiceChanged)
public:
    explicit ProjectSettingFormModel(QObject* parent = nullptr);

    QString getProjectName() const { return projectName; }
    void setProjectName(const QString& value);
    float getSrate() const { return srate; }
    void setSrate(float value);
    QVariant getVoice() const { return voice; }
    void setVoice(const QVariant& value);

    // "Project-" and the day, numbered when a project folder of that name exists.
    static QString proposedProjectName();
    // True when value holds an installed voice: a LocalVoice with a uid.
    static bool holdsVoice(const QVariant& value);

signals:
    void okTodo();
    void projectNameChanged();
    void srateChanged();
    void voiceChanged();

public:
    Q_INVOKABLE void ok();

private:
    QString projectName;
    QVariant voice;
    float srate = 1.0f;
};
