// The ".tov" file: the document's fields as a little-endian archive (version 3), with length-
// prefixed strings and the init list as a list of "CCodeItem" objects.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "setup/tov_doc.h"

namespace tov::setup {

inline constexpr uint16_t kDocVersion = 3;

inline constexpr const char* kBadFormatText = "Unexpected file format.";
inline constexpr const char* kOpenFailedText = "Failed to open document.";
inline constexpr const char* kSaveFailedText = "Failed to save document.";

// The bytes of a stored document.
std::vector<uint8_t> storeDocument(const CTovDoc& doc);
// Resets the document and reads it from `bytes`; false for a damaged or foreign file, which
// leaves the document at its defaults. Every length is checked against the bytes left before
// anything is allocated. Rebuilds the connection parameters.
bool loadDocument(std::span<const uint8_t> bytes, CTovDoc& doc);

// Loads a file into the document: an empty text, or the message to show. On failure the
// document is at its defaults; on success it is unmodified.
std::string openDocumentFile(const std::string& path, CTovDoc& doc);
// Stores the document into a file beside it first and renames it over the old one, so a
// failed save keeps the old file: an empty text or the message to show.
std::string saveDocumentFile(const std::string& path, const CTovDoc& doc);

// Whole-file helpers shared by the document and the text file. After a read error `bytes`
// holds what was read up to it.
enum class FileRead { kOk, kCannotOpen, kReadError };
FileRead readWholeFile(const std::string& path, std::vector<uint8_t>& bytes);
// No setup document or setup text comes near this size; a larger file is not one.
inline constexpr uint64_t kLargestSetupFile = 16u << 20;
// Why `path` cannot be a setup file before a byte is read (not a regular file, larger than any
// setup file), naming it; empty when it may be one or does not exist.
std::string setupFileProblem(const std::string& path);
// Writes a unique temporary file beside `path` (beside the file a symbolic link names, so the
// link stays and its target is replaced), gives it the old file's mode and, where permitted,
// its owner, and renames it over the old file only when all was written, so an error leaves
// an existing file as it was.
enum class FileWrite { kOk, kCannotCreate, kWriteError };
FileWrite writeFileReplacing(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace tov::setup
