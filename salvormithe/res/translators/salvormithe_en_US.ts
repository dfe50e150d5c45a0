<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>Quorvine Text to Speech Converter</source>
        <translation>Quorvine Text to Speech Converter</translation>
    </message>
</context>
<context>
    <name>AboutForm</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>LinkOpener</name>
    <message>
        <source>The web page %1 could not be opened.</source>
        <translation>The web page %1 could not be opened.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>MainHeader</name>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
</context>
<context>
    <name>MainModel</name>
    <message>
        <source>This version of Quorvine software has become obsolete. Please download the latest version to install on your computer.</source>
        <translation>This version of Quorvine software has become obsolete. Please download the latest version to install on your computer.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Projects</source>
        <translation>Projects</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Home</translation>
    </message>
    <message>
        <source>Voices</source>
        <translation>Voices</translation>
    </message>
    <message>
        <source>Voice Cloning</source>
        <translation>Voice Cloning</translation>
    </message>
</context>
<context>
    <name>home</name>
    <message>
        <source>Home</source>
        <translation>Home</translation>
    </message>
    <message>
        <source>Convert Files to Projects</source>
        <translation>Convert Files to Projects</translation>
    </message>
    <message>
        <source>New Project</source>
        <translation>New Project</translation>
    </message>
    <message>
        <source>Select text files</source>
        <translation>Select text files</translation>
    </message>
    <message>
        <source>Text files (*.txt *.htm *.html *.TXT *.HTM *.HTML)</source>
        <translation>Text files (*.txt *.htm *.html *.TXT *.HTM *.HTML)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>Type or paste your text here, then press New Project. Each line becomes a text segment.</source>
        <translation>Type or paste your text here, then press New Project. Each line becomes a text segment.</translation>
    </message>
    <message>
        <source>Start a project with the text above.</source>
        <translation>Start a project with the text above.</translation>
    </message>
    <message>
        <source>Start an empty project and type into it.</source>
        <translation>Start an empty project and type into it.</translation>
    </message>
    <message>
        <source>Import Text Files</source>
        <translation>Import Text Files</translation>
    </message>
    <message>
        <source>Each .txt or .html file becomes a project, one segment per line.</source>
        <translation>Each .txt or .html file becomes a project, one segment per line.</translation>
    </message>
    <message>
        <source>Voice Cloning</source>
        <translation>Voice Cloning</translation>
    </message>
    <message>
        <source>Record your voice and train a voice of your own.</source>
        <translation>Record your voice and train a voice of your own.</translation>
    </message>
</context>
<context>
    <name>Projects</name>
    <message>
        <source>Projects</source>
        <translation>Projects</translation>
    </message>
    <message>
        <source>New Project</source>
        <translation>New Project</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Created</source>
        <translation>Created</translation>
    </message>
    <message>
        <source>No projects yet. Start one on the Home page.</source>
        <translation>No projects yet. Start one on the Home page.</translation>
    </message>
</context>
<context>
    <name>Voices</name>
    <message>
        <source>Voices</source>
        <translation>Voices</translation>
    </message>
    <message>
        <source>Clone a voice</source>
        <translation>Clone a voice</translation>
    </message>
</context>
<context>
    <name>VoiceSelectorModel</name>
    <message>
        <source>Network connection error!</source>
        <translation>Network connection error!</translation>
    </message>
    <message>
        <source>Progress: %1%</source>
        <translation>Progress: %1%</translation>
    </message>
    <message>
        <source>IDS_FIND_INSTALLED_VOICE_FAILED</source>
        <translation>Installing voice failed.</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_REMOVE_VOICE?</source>
        <translation>Confirm to delete voice?</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>VoiceSelector</name>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>VoiceTabs</name>
    <message>
        <source>Avaiable</source>
        <translation>Available</translation>
    </message>
    <message>
        <source>Download a voice</source>
        <translation>Download a voice</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>LocalVoicesTab</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Gender</source>
        <translation>Gender</translation>
    </message>
    <message>
        <source>No voice is installed yet.</source>
        <translation>No voice is installed yet.</translation>
    </message>
</context>
<context>
    <name>LocalVoiceRow</name>
    <message>
        <source>Male</source>
        <translation>Male</translation>
    </message>
    <message>
        <source>Female</source>
        <translation>Female</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
</context>
<context>
    <name>ServerVoicesTab</name>
    <message>
        <source>IDS_SELECT_LANGUAGE</source>
        <translation>Select a language</translation>
    </message>
    <message>
        <source>IDS_SEARCH_VOICE</source>
        <translation>Search a voice</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Gender</source>
        <translation>Gender</translation>
    </message>
    <message>
        <source>Quality</source>
        <translation>Quality</translation>
    </message>
</context>
<context>
    <name>ServerVoiceRow</name>
    <message>
        <source>Male</source>
        <translation>Male</translation>
    </message>
    <message>
        <source>Female</source>
        <translation>Female</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>Install</translation>
    </message>
</context>
<context>
    <name>HomeModel</name>
    <message>
        <source>IDS_PROJECT_NAME_TOO_LONG</source>
        <translation>The project name is too long. Use at most 1000 characters.</translation>
    </message>
    <message>
        <source>IDS_CREATE_PROJECT_FAILED</source>
        <translation>Cannot create the project folder.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>IDS_FILE_NOT_UTF8</source>
        <translation>The file is not UTF-8 text.</translation>
    </message>
    <message>
        <source>IDS_FILE_NOT_REGULAR</source>
        <translation>Only regular files can be converted.</translation>
    </message>
    <message>
        <source>IDS_FILE_TOO_LARGE</source>
        <translation>The file is too large to be converted.</translation>
    </message>
</context>
<context>
    <name>ProjectsModel</name>
    <message>
        <source>IDS_CONFIRM_TO_REMOVE?</source>
        <translation>Confirm to delete?</translation>
    </message>
    <message>
        <source>These project folders in %1 cannot be read and are not listed:</source>
        <translation>These project folders in %1 cannot be read and are not listed:</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>and %1 more</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ProjectSettingFormModel</name>
    <message>
        <source>IDS_PROJECT_NAME_TOO_LONG</source>
        <translation>The project name is too long. Use at most 1000 characters.</translation>
    </message>
    <message>
        <source>IDS_EMPTY_PROJECT_NAME</source>
        <translation>The project name is empty.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>IDS_EMPTY_DEFAULT_VOCIE</source>
        <translation>The default voice is empty.</translation>
    </message>
</context>
<context>
    <name>ProjectsRow</name>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
</context>
<context>
    <name>ProjectSettingForm</name>
    <message>
        <source>New Project</source>
        <translation>New Project</translation>
    </message>
    <message>
        <source>Project name</source>
        <translation>Project name</translation>
    </message>
    <message>
        <source>Default voice</source>
        <translation>Default voice</translation>
    </message>
    <message>
        <source>Select a voice</source>
        <translation>Select a voice</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ExportSettingPopup</name>
    <message>
        <source>Choose the folder to export into</source>
        <translation>Choose the folder to export into</translation>
    </message>
    <message>
        <source>Export the project</source>
        <translation>Export the project</translation>
    </message>
    <message>
        <source>Export this segment</source>
        <translation>Export this segment</translation>
    </message>
    <message>
        <source>Save to</source>
        <translation>Save to</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>Audio format</source>
        <translation>Audio format</translation>
    </message>
    <message>
        <source>Audio files</source>
        <translation>Audio files</translation>
    </message>
    <message>
        <source>Separated audio files</source>
        <translation>Separated audio files</translation>
    </message>
    <message>
        <source>Combine into one audio</source>
        <translation>Combine into one audio</translation>
    </message>
    <message>
        <source>Export the text too</source>
        <translation>Export the text too</translation>
    </message>
    <message>
        <source>Text format</source>
        <translation>Text format</translation>
    </message>
    <message>
        <source>Plain text (.txt)</source>
        <translation>Plain text (.txt)</translation>
    </message>
    <message>
        <source>Web page (.html)</source>
        <translation>Web page (.html)</translation>
    </message>
    <message>
        <source>PDF document (.pdf)</source>
        <translation>PDF document (.pdf)</translation>
    </message>
    <message>
        <source>Word document (.docx)</source>
        <translation>Word document (.docx)</translation>
    </message>
    <message>
        <source>Show the speakers&apos; names in the text</source>
        <translation>Show the speakers&apos; names in the text</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Export</translation>
    </message>
</context>
<context>
    <name>Project</name>
    <message>
        <source>Project Settings</source>
        <translation>Project Settings</translation>
    </message>
    <message>
        <source>Created %1</source>
        <translation>Created %1</translation>
    </message>
    <message>
        <source>Default voice: %1</source>
        <translation>Default voice: %1</translation>
    </message>
    <message>
        <source>%1x</source>
        <translation>%1x</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Export</translation>
    </message>
</context>
<context>
    <name>ProjectControlBar</name>
    <message>
        <source>Play All</source>
        <translation>Play All</translation>
    </message>
    <message>
        <source>Converting...</source>
        <translation>Converting...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
</context>
<context>
    <name>ProjectModel</name>
    <message>
        <source>IDS_PROJECT_NAME_TOO_LONG</source>
        <translation>The project name is too long. Use at most 1000 characters.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>IDS_NO_DEFAULT_VOICE</source>
        <translation>No default voice assigned</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_TO_REMOVE_SEG?</source>
        <translation>Confirm to delete this text segment?</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>IDS_INVALID_VOICE</source>
        <translation>Invalid voice</translation>
    </message>
    <message>
        <source>IDS_ERROR_OCCURED.</source>
        <translation>An error occurred. </translation>
    </message>
    <message>
        <source>Voice %1(%2) is unavailable. Please select another voice.</source>
        <translation>Voice %1(%2) is unavailable. Please select another voice.</translation>
    </message>
    <message>
        <source>Converting...</source>
        <translation>Converting...</translation>
    </message>
    <message>
        <source>Converting...%1%</source>
        <translation>Converting...%1%</translation>
    </message>
    <message>
        <source>IDS_INVALID_SAVE_FOLDER</source>
        <translation>Please choose a folder on this computer to export into.</translation>
    </message>
    <message>
        <source>Exported Completed!</source>
        <translation>Exported Completed!</translation>
    </message>
    <message>
        <source>The files are in %1</source>
        <translation>The files are in %1</translation>
    </message>
    <message>
        <source>The folder %1 could not be opened.</source>
        <translation>The folder %1 could not be opened.</translation>
    </message>
</context>
<context>
    <name>SegBubble</name>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Listen</source>
        <translation>Listen</translation>
    </message>
    <message>
        <source>Voice settings</source>
        <translation>Voice settings</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
</context>
<context>
    <name>SegPlaceholder</name>
    <message>
        <source>Type or paste your text here. Each line becomes one segment.</source>
        <translation>Type or paste your text here. Each line becomes one segment.</translation>
    </message>
</context>
<context>
    <name>SegSettingPopup</name>
    <message>
        <source>Voice settings</source>
        <translation>Voice settings</translation>
    </message>
    <message>
        <source>Now: %1</source>
        <translation>Now: %1</translation>
    </message>
    <message>
        <source>Use the project&apos;s default voice</source>
        <translation>Use the project&apos;s default voice</translation>
    </message>
    <message>
        <source>No voice chosen</source>
        <translation>No voice chosen</translation>
    </message>
    <message>
        <source>Choose...</source>
        <translation>Choose...</translation>
    </message>
    <message>
        <source>Speech rate</source>
        <translation>Speech rate</translation>
    </message>
    <message>
        <source>%1x</source>
        <translation>%1x</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
