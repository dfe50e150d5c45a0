#pragma once

#include <QDate>
#include <QString>
#include <QVariantMap>

#include <string>

// The export form's choices, by the keys of the map the page hands over.
struct ExportSettings
{
    int seg_id = 0;              // 0: the whole project, else the one segment's id
    QString save_url;            // the chosen folder as a file URL
    QString audio_type;          // "WAV", "MP3" or "AAC"
    int audio_merge = 1;         // 0: one file per segment, 1: one audio for all
    bool with_text = false;      // also write a text file
    QString text_type = ".txt";  // ".txt", ".pdf", ".html" or ".docx"
    bool with_speaker = true;    // the text shows the speaker names

    static ExportSettings fromMap(const QVariantMap& map);

    // The chosen folder as an absolute local path; empty when there is none or
    // it is not on this computer.
    QString localFolder() const;
    // "." and the lower-cased format name: ".wav", ".mp3", ".aac".
    std::string audioExtension() const;
    // The text file's extension; a format that is not known is written as
    // plain ".txt".
    std::string textExtension() const;

    // Name of the folder one export creates on the given day.
    static QString exportFolderName(const QDate& day);
};
