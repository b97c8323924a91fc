// What the batch tool reports about a document.
#pragma once

#include "cli/Json.h"
#include "model/DocImage.h"

#include <string>

namespace zepho::cli {

// The document's fields and every object's, bottom first, as JSON or as readable text.
void DescribeDocument(const CDocImage& doc, const std::string& format, JsonWriter& json);
std::string DescribeDocumentText(const CDocImage& doc, const std::string& format);

} // namespace zepho::cli
