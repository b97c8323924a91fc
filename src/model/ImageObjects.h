// Preparing selected objects for pixel operations.
#pragma once

#include "model/DocImage.h"
#include "platform/Services.h"

#include <string>

namespace zepho {

// A pixel operation about to run on the selected objects.
class IImageOperation {
public:
    virtual ~IImageOperation() = default;
    // Shown in the conversion question: "If you want to <verb>,it must be converted ...".
    virtual std::string Verb() const = 0;
    // Called for every object before its shape is dropped, so the operation can record it.
    virtual void Accept(const Ref<CDrawObj>& obj) = 0;
};

// Hands every visible selected object to the operation, bottom to top, turning it into a plain
// image object first. Shape objects are converted only when the user agrees. True when at
// least one object was handed over.
bool ConvertToImageObjects(CDocImage& doc, IImageOperation& op, IUiHost& ui);
// The one visible selected object, or none when there are none or several.
Ref<CDrawObj> SingleSelectedObject(const CDocImage& doc);

} // namespace zepho
