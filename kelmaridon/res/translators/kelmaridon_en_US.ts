<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>Quorvine Voice Cloning</source>
        <translation>Quorvine Voice Cloning</translation>
    </message>
    <message>
        <source>Please check your computer's microphone.</source>
        <translation>Please check your computer's microphone.</translation>
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
    <name>main</name>
    <message>
        <source>Recording</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>Training</source>
        <translation>Training</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>IDS_SELECT_TRAINING_ENV_ROOT</source>
        <translation>Please select the save path for the training environment.</translation>
    </message>
</context>
<context>
    <name>Recording</name>
    <message>
        <source>Recording</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>New Record</source>
        <translation>New Record</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>No recordings yet. Press &quot;New Record&quot; to start one.</source>
        <translation>No recordings yet. Press &quot;New Record&quot; to start one.</translation>
    </message>
</context>
<context>
    <name>RowMenuButton</name>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
</context>
<context>
    <name>RecordingSetting</name>
    <message>
        <source>IDS_TITLE_RECORDING_SETTING</source>
        <translation>Recording settings</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>Language:</translation>
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
    <name>RecordingDetail</name>
    <message>
        <source>Sentences: %1</source>
        <translation>Sentences: %1</translation>
    </message>
    <message>
        <source>Add a new record</source>
        <translation>Add a new record</translation>
    </message>
    <message>
        <source>Train Now</source>
        <translation>Train Now</translation>
    </message>
    <message>
        <source>Nothing recorded yet. Press &quot;Add a new record&quot; to read the first sentence.</source>
        <translation>Nothing recorded yet. Press &quot;Add a new record&quot; to read the first sentence.</translation>
    </message>
</context>
<context>
    <name>RecordingPrompt</name>
    <message>
        <source>Please read the following sentence in a quiet environment:</source>
        <translation>Please read the following sentence in a quiet environment:</translation>
    </message>
    <message>
        <source>Start Recording</source>
        <translation>Start Recording</translation>
    </message>
    <message>
        <source>Try again</source>
        <translation>Try again</translation>
    </message>
    <message>
        <source>Stop Recording</source>
        <translation>Stop Recording</translation>
    </message>
    <message>
        <source>Play audio</source>
        <translation>Play audio</translation>
    </message>
    <message>
        <source>Stop audio</source>
        <translation>Stop audio</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>Quick Tips</source>
        <translation>Quick Tips</translation>
    </message>
    <message>
        <source>• Keep down background noise</source>
        <translation>• Keep down background noise</translation>
    </message>
    <message>
        <source>• Avoid long pauses</source>
        <translation>• Avoid long pauses</translation>
    </message>
    <message>
        <source>• Avoid stuttering or stammering</source>
        <translation>• Avoid stuttering or stammering</translation>
    </message>
</context>
<context>
    <name>RecordingModel</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Confirm to delete?</source>
        <translation>Confirm to delete?</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
</context>
<context>
    <name>RecordingSettingModel</name>
    <message>
        <source>IDS_EMPTY_NAME</source>
        <translation>Recording name can not be empty.</translation>
    </message>
    <message>
        <source>IDS_INVALID_LANG</source>
        <translation>Invalid language.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>RecordingDetailModel</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>IDS_NO_PROMPTS.</source>
        <translation>No more prompts.</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_REMOVE_RECORD?</source>
        <translation>Confirm to delete?</translation>
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
        <source>The recording "%1" is no longer there: its folder was deleted or moved.</source>
        <translation>The recording "%1" is no longer there: its folder was deleted or moved.</translation>
    </message>
    <message>
        <source>Invalid take: %1 (%2)</source>
        <translation>Invalid take: %1 (%2)</translation>
    </message>
</context>
<context>
    <name>Trainings</name>
    <message>
        <source>Training</source>
        <translation>Training</translation>
    </message>
    <message>
        <source>New Training</source>
        <translation>New Training</translation>
    </message>
    <message>
        <source>No trainings yet. Press New Training to train a voice from a recording.</source>
        <translation>No trainings yet. Press New Training to train a voice from a recording.</translation>
    </message>
</context>
<context>
    <name>TrainingModel</name>
    <message>
        <source>IDS_INVALID_BATCHSIZE</source>
        <translation>Invalid batch size.</translation>
    </message>
    <message>
        <source>IDS_TRAINING_FAILED.</source>
        <translation>Training failed.</translation>
    </message>
    <message>
        <source>IDS_TRAINING_END!</source>
        <translation>Training has stopped.</translation>
    </message>
    <message>
        <source>IDS_EXPORT_DONE</source>
        <translation>Generated voice successfully!</translation>
    </message>
    <message>
        <source>IDS_EXPORT_FAILED</source>
        <translation>Generating the voice failed.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>The training environment is not installed.</source>
        <translation>The training environment is not installed.</translation>
    </message>
    <message>
        <source>Please select the installation directory for the training environment, using English characters only in the path. About 4GB of space is required.</source>
        <translation>Please select the installation directory for the training environment, using English characters only in the path. About 4GB of space is required.</translation>
    </message>
    <message>
        <source>Select Folder</source>
        <translation>Select Folder</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Training could not go on from the checkpoint %1.</source>
        <translation>Training could not go on from the checkpoint %1.</translation>
    </message>
    <message>
        <source>Continue from the previous checkpoint</source>
        <translation>Continue from the previous checkpoint</translation>
    </message>
    <message>
        <source>Training is running. Stop it and leave?</source>
        <translation>Training is running. Stop it and leave?</translation>
    </message>
    <message>
        <source>The checkpoints saved so far are kept, and the training goes on from them when it is started again.</source>
        <translation>The checkpoints saved so far are kept, and the training goes on from them when it is started again.</translation>
    </message>
    <message>
        <source>A voice named %1 already exists. Replace it, or keep both and name the new one %2?</source>
        <translation>A voice named %1 already exists. Replace it, or keep both and name the new one %2?</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>Keep Both</source>
        <translation>Keep Both</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
</context>
<context>
    <name>TrainingMain</name>
    <message>
        <source>Poor</source>
        <translation>Poor</translation>
    </message>
    <message>
        <source>X-Low</source>
        <translation>X-Low</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Low</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Medium</translation>
    </message>
    <message>
        <source>High</source>
        <translation>High</translation>
    </message>
    <message>
        <source>Generate Voice</source>
        <translation>Generate Voice</translation>
    </message>
    <message>
        <source>Epochs trained</source>
        <translation>Epochs trained</translation>
    </message>
    <message>
        <source>Voice quality: %1</source>
        <translation>Voice quality: %1</translation>
    </message>
</context>
<context>
    <name>TrainingControlBar</name>
    <message>
        <source>Start Training</source>
        <translation>Start Training</translation>
    </message>
    <message>
        <source>Stop Training</source>
        <translation>Stop Training</translation>
    </message>
    <message>
        <source>Batch Size:</source>
        <translation>Batch Size:</translation>
    </message>
    <message>
        <source>GPU</source>
        <translation>GPU</translation>
    </message>
</context>
<context>
    <name>CreateTrainingModel</name>
    <message>
        <source>IDS_EMPTY_TRAINING_NAME</source>
        <translation>Training name can not be empty.</translation>
    </message>
    <message>
        <source>IDS_EMPTY_INVALID_RECORDING</source>
        <translation>Invalid recording.</translation>
    </message>
    <message>
        <source>IDS_EMPTY_INVALID_MODEL</source>
        <translation>Invalid model.</translation>
    </message>
    <message>
        <source>IDS_DOWNLOADING_MODEL:</source>
        <translation>Downloading model:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>None</source>
        <translation>None</translation>
    </message>
    <message>
        <source>A voice with the name %1 already exists. Please use another name.</source>
        <translation>A voice with the name %1 already exists. Please use another name.</translation>
    </message>
    <message>
        <source>Training without a pre-existing model will require more recordings and a longer training time. Are you sure you want to start training without a model?</source>
        <translation>Training without a pre-existing model will require more recordings and a longer training time. Are you sure you want to start training without a model?</translation>
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
        <source>The base model %1 cannot be downloaded now, and no copy of it is on this computer. Start training without a pre-existing model? It will require more recordings and a longer training time.</source>
        <translation>The base model %1 cannot be downloaded now, and no copy of it is on this computer. Start training without a pre-existing model? It will require more recordings and a longer training time.</translation>
    </message>
</context>
<context>
    <name>TrainingsModel</name>
    <message>
        <source>IDS_CONFIRM_REMOVE_TRAINING</source>
        <translation>Confirm to delete the training?</translation>
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
    <name>CreateTraining</name>
    <message>
        <source>New Training</source>
        <translation>New Training</translation>
    </message>
    <message>
        <source>Voice Name</source>
        <translation>Voice Name</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>Select a recording</source>
        <translation>Select a recording</translation>
    </message>
    <message>
        <source>Base Model</source>
        <translation>Base Model</translation>
    </message>
    <message>
        <source>Select a base model</source>
        <translation>Select a base model</translation>
    </message>
    <message>
        <source>I hereby confirm that I am cloning my own voice samples and that I will not use the generated content for any illegal, fraudulent, or harmful purpose.</source>
        <translation>I hereby confirm that I am cloning my own voice samples and that I will not use the generated content for any illegal, fraudulent, or harmful purpose.</translation>
    </message>
    <message>
        <source>I reaffirm my obligation to abide Quorvine's </source>
        <translation>I reaffirm my obligation to abide Quorvine's </translation>
    </message>
    <message>
        <source>Terms of Service</source>
        <translation>Terms of Service</translation>
    </message>
    <message>
        <source> and </source>
        <translation> and </translation>
    </message>
    <message>
        <source>Privacy Policy</source>
        <translation>Privacy Policy</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Start Training</source>
        <translation>Start Training</translation>
    </message>
</context>
<context>
    <name>HomeModel</name>
    <message>
        <source>Please select the installation directory for the training environment, using English characters only in the path. About 4GB of space is required.</source>
        <translation>Please select the installation directory for the training environment, using English characters only in the path. About 4GB of space is required.</translation>
    </message>
    <message>
        <source>Select Folder</source>
        <translation>Select Folder</translation>
    </message>
    <message>
        <source>English characters only in the path is required. Please choose another folder.</source>
        <translation>English characters only in the path is required. Please choose another folder.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Downloading: </source>
        <translation>Downloading: </translation>
    </message>
    <message>
        <source>Cancelling...</source>
        <translation>Cancelling...</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Retry</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Installing...%1%</source>
        <translation>Installing...%1%</translation>
    </message>
</context>
<context>
    <name>InstallCover</name>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TrainingsRow</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Epochs</source>
        <translation>Epochs</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
</context>
<context>
    <name>VoiceRecorder</name>
    <message>
        <source>The take was not kept: it is shorter than one second. Please read the whole sentence before you stop.</source>
        <translation>The take was not kept: it is shorter than one second. Please read the whole sentence before you stop.</translation>
    </message>
    <message>
        <source>The take was not kept: it is silent (the microphone gave no sound, or almost none). Please check your computer's microphone and its volume.</source>
        <translation>The take was not kept: it is silent (the microphone gave no sound, or almost none). Please check your computer's microphone and its volume.</translation>
    </message>
    <message>
        <source>Your previous take of this sentence is unchanged.</source>
        <translation>Your previous take of this sentence is unchanged.</translation>
    </message>
    <message>
        <source>The microphone stopped during the take.</source>
        <translation>The microphone stopped during the take.</translation>
    </message>
    <message>
        <source>Start capture device failed.</source>
        <translation>Start capture device failed.</translation>
    </message>
</context>
</TS>
