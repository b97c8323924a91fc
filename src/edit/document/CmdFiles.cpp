#include "edit/document/CmdFiles.h"

#include "codecs/CodecStrings.h"
#include "edit/commands/CmdCommon.h"
#include "edit/commands/LongWork.h"
#include "edit/undo/UndoObjects.h"
#include "platform/Format.h"

namespace zepho {

bool CmdAddImageFiles(COrvaneDoc& doc, const std::vector<std::string>& paths, IUiHost& ui,
                      const FileLoader& loader, bool video) {
    CDocImage& img = doc.Image();
    auto action = std::make_unique<CObjListUndo>(video ? CObjListUndo::AddAvi : CObjListUndo::AddImageFiles);
    action->Capture(img.objects);
    bool added = false;
    for (const std::string& path : paths) {
        Ref<CDocImage> file = MakeRef<CDocImage>();
        LoadFlags flags;
        // Each file is read apart from the document (on a worker in the shell); a cancelled read
        // stops the loop quietly, and what earlier files added stays as after a failure.
        bool loaded = false;
        if (!RunLongWork([&] { loaded = loader && loader(*file, path, flags, nullptr); })) break;
        if (!loaded) {
            ShowCommandMessage(ui, Format(strings::kLoadFileFailed, path.c_str()), MsgIcon::Warning);
            break;
        }
        ShowBottomUnlessKept(*file, flags);
        for (const Ref<CDrawObj>& obj : file->objects) {
            obj->content->name = doc.NextObjectName(obj->content->kind);
            obj->content->selected = 1;
            img.objects.AddTail(obj);
            added = true;
        }
    }
    // Objects that did arrive keep their record even when a later file failed, so that undo
    // can still take them away.
    if (added) CommitCommand(doc, std::move(action), true);
    return added;
}

} // namespace zepho
