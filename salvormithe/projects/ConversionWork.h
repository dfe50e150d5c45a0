#pragma once

#include "common/ProjectSeg.h"
#include "common/ProjectVoice.h"
#include "voices/LocalVoice.h"

#include <QList>
#include <QString>

#include <map>
#include <string>
#include <vector>

class ProjectFolder;

// The conversion's file and database work. Every function here runs on the
// project store's worker thread, with the store's ProjectFolder; the
// conversion run (GUI thread) hands them copies and gets copies back.
struct ConversionWork
{
    // One segment's sentences, each with the file its child writes.
    struct Planned
    {
        ProjectSeg seg; // the segment as the sentences were taken from it
        LocalVoice voice;
        float rate = 0;
        std::vector<std::string> sentences;
        std::vector<std::string> wavs; // UTF-8
    };
    struct Plan
    {
        std::vector<int> upToDate;      // nothing to convert
        std::vector<ProjectSeg> emptied; // no sentence left: their old audio went
        std::vector<Planned> todo;
        QString error;                   // the run cannot start
    };
    // Sorts segs into those up to date and those to convert; a segment to
    // convert gets an empty sentence folder. Stops at a voice that is not installed.
    static Plan plan(ProjectFolder& project, const QList<ProjectSeg>& segs,
                     const std::map<int, ProjectVoice>& voices);

    // A segment whose sentence files are all written.
    struct Done
    {
        ProjectSeg seg;
        int sentences = 0;
    };
    struct Joined
    {
        ProjectSeg seg;     // the stored row, with the join's result when ok
        bool ok = true;
        bool stale = false; // changed (or gone) since its sentences were taken
        bool gone = false;
        QString error;
    };
    // Joins each segment's sentence files into its audio, removes the sentence
    // folders and stores the results, all of them in one transaction.
    static std::vector<Joined> join(ProjectFolder& project, const std::vector<Done>& done);

    // Joins the audio of the segments that have some into the project's
    // "audio.wav", in order; empty on success, else the error text.
    static QString joinAll(ProjectFolder& project, const std::vector<int>& segIds);
};
