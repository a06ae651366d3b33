#pragma once

#include <string>

namespace quorvane::recording {

// `text` fit for XML character data: markup characters and carriage returns
// become references; bytes that are not valid UTF-8 and characters XML
// forbids become U+FFFD. A file name, a network's name or a device's reply
// may hold any of them, and no parser reads a document that holds one.
std::string xmlText(const std::string& text);

// The same for an attribute's value, which also keeps its line breaks and
// tabs as references.
std::string xmlAttribute(const std::string& text);

}  // namespace quorvane::recording
