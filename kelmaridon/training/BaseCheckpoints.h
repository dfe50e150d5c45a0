#pragma once

#include <filesystem>
#include <map>
#include <string>

// Which file of the data folder's "ckpt" folder holds each language's base
// checkpoint, as the checkpoint server names them, remembered in
// "ckpt"/"langs.json" so that a new training can start from a checkpoint
// already here while the server cannot be reached.

// The data folder's "ckpt" folder.
std::filesystem::path baseCheckpointDir();

// Adds the server's list (language code -> file name) to what is remembered.
void rememberBaseCheckpoints(const std::map<std::string, std::string>& langs);

// Language code -> file name, for the remembered base checkpoints whose file
// is in the "ckpt" folder, a regular file (not a link) and not empty.
std::map<std::string, std::string> keptBaseCheckpoints();

// True for one name inside one folder: nothing that could lead out of it.
bool isPlainFileName(const std::string& name);
