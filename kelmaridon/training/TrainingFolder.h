#pragma once

#include <filesystem>
#include <mutex>
#include <string>

// The folder that holds every training: the home folder's
// "quorvine_salvormithe_training", created with its parents when missing.
std::filesystem::path trainingRoot();

// True when the folder (UTF-8) holds both "config.json" and "dataset.jsonl".
bool isPreprocessed(const std::string& folder);
// Deletes "config.json" and "dataset.jsonl" from the folder; failures are ignored.
void removePreprocessOutput(const std::string& folder);

// This module's file-system mutex.
std::mutex& trainingFsMutex();
