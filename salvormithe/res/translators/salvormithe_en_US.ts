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
</context>
<context>
    <name>Projects</name>
    <message>
        <source>Projects</source>
        <translation>Projects</translation>
    </message>
</context>
<context>
    <name>Project</name>
    <message>
        <source>Project</source>
        <translation>Project</translation>
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
</TS>
