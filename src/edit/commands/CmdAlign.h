// Placing the selected objects: the align and center commands and the arrow-key nudge.
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "platform/Services.h"

namespace zepho {

class CAppSettings;

enum class AlignKind { Left, Top, Right, Bottom, CenterHorz, CenterVert, CenterBoth };

// The target comes from every selected object (hidden ones too); only the selected visible
// objects move. With one selected object the target is the canvas edge; the centre commands
// centre each object by itself on the canvas.
bool CmdAlign(COrvaneDoc& doc, AlignKind kind, IUiHost& ui);

enum class NudgeKey { Left, Right, Up, Down };

// Moves every selected visible object by the settings' horizontal or vertical offset.
// False when there is nothing to move (the key then goes to the default handling).
bool CmdNudge(COrvaneDoc& doc, const CAppSettings& settings, NudgeKey key);

bool CanAlign(const COrvaneDoc& doc);
bool CanNudge(const COrvaneDoc& doc);

} // namespace zepho
