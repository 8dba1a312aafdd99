#pragma once

#include <filesystem>
#include <string>

namespace kdisk::service {

// Fills an account folder with the demo tree (folders, pictures, a PDF, texts,
// names with blanks and Cyrillic letters). Adds what is missing, keeps the rest.
bool seedDemoFiles(const std::filesystem::path& root, std::string& error);

} // namespace kdisk::service
