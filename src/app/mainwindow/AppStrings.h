// The shell's own texts.
#pragma once

namespace zepho {

inline constexpr const char kAppTitle[] = "Quarnix Zepho Image";
// Autosave failed twice in a row: the folder and the system's reason.
inline constexpr const char kAutosaveFailed[] = "Autosave could not write to %s: %s";
inline constexpr const char kOrganisation[] = "Quarnix";
inline constexpr const char kApplicationKey[] = "Zepho Image";
inline constexpr const char kWorkspaceGroup[] = "XWorkspace";
inline constexpr const char kNativeFilterQt[] = "Quarnix Zepho Image File (*.qzi)";
inline constexpr const char kOpenFailed[] = "Failed to open document.";
inline constexpr const char kSaveElsewhere[] = "Do you want to save it under another name?";
inline constexpr const char kObjectsLeftOut[] =
    "The document opened, but these objects were left out because they are too large to draw:";
inline constexpr const char kSaveChanges[] = "Save changes to %s?";
inline constexpr const char kUntitled[] = "Untitled";
// The window of long work that runs off the UI thread.
inline constexpr const char kWorkPleaseWait[] = "Please wait...";
inline constexpr const char kWorkCancel[] = "Cancel";
inline constexpr const char kWorkCancelling[] = "Cancelling...";

// The Image menu: commands on the whole picture.
inline constexpr const char kImageMenu[] = "&Image";
inline constexpr const char kMenuCropToSelection[] = "C&rop to Selection";
inline constexpr const char kMenuFlipHorz[] = "Flip &Horizontal";
inline constexpr const char kMenuFlipVert[] = "Flip &Vertical";
inline constexpr const char kMenuRotateCw[] = "Rotate 90° &Clockwise";
inline constexpr const char kMenuRotateCcw[] = "Rotate 90° C&ounter-clockwise";
inline constexpr const char kMenuRotate180[] = "Rotate &180°";
inline constexpr const char kMenuImageProperties[] = "&Properties...";
inline constexpr const char kTipImageProperties[] =
    "Size, format, colour profile and the photo's camera, date and location";
inline constexpr const char kTipCropToSelection[] = "Makes the canvas the selection's bounding box";
inline constexpr const char kTipFlipHorz[] = "Mirrors the whole image left to right";
inline constexpr const char kTipFlipVert[] = "Mirrors the whole image top to bottom";
inline constexpr const char kTipRotate[] = "Turns the whole image with every object";

// "New Image" dialog.
inline constexpr const char kNewImageTitle[] = "New Image";
inline constexpr const char kWidthLabel[] = "Width:";
inline constexpr const char kHeightLabel[] = "Height:";
inline constexpr const char kSimpleColor[] = "Simple color";
inline constexpr const char kTransparent[] = "Transparent";

// Preferences dialog.
inline constexpr const char kPreferencesTitle[] = "Preferences";
inline constexpr const char kUndoGroup[] = "Undo/Redo";
inline constexpr const char kMaintain[] = "Maintain";
inline constexpr const char kLevels[] = "levels of Undo/Redo";
inline constexpr const char kUndoMemory[] = "Undo memory:";
// The History panel.
inline constexpr const char kHistoryPanel[] = "History";
inline constexpr const char kHistoryMenu[] = "&History Panel";
inline constexpr const char kHistoryMemory[] = "History holds %1 MB of %2 MB";
inline constexpr const char kUndoMemoryTip[] =
    "The most memory the history of one document may hold; beyond it the oldest steps are dropped. "
    "Automatic: %1 MB (a quarter of this computer's memory, at most 4096 MB).";
inline constexpr const char kPsdLayers[] = "Import these layers as objects";
inline constexpr const char kPsdComposite[] = "Import composite image or the first layer as a single frame";
inline constexpr const char kMoreColors[] = "More...";

// Export dialogs.
inline constexpr const char kQualityLabel[] = "Quality:";
inline constexpr const char kBestCompression[] = "Best compression";
inline constexpr const char kBestQuality[] = "Best quality";
inline constexpr const char kFillColor[] = "Fill Color";
inline constexpr const char kInterlace[] = "Interlace";
inline constexpr const char kKeepTransparency[] = "Keep transparency";
// Export panels of the formats that carry a photo's information, when the document has some.
inline constexpr const char kKeepPhotoInfo[] = "Keep photo information";
inline constexpr const char kRemoveLocation[] = "Remove location";
inline constexpr const char kSaveAnimation[] = "Save as animation (one frame per visible object)";
inline constexpr const char kLossless[] = "Lossless";
inline constexpr const char kEncoderSpeed[] = "Speed (0 slowest, 10 fastest):";
inline constexpr const char kCompressionGroup[] = "Compression";
inline constexpr const char kCompressRle[] = "&Compress Using RLE";
inline constexpr const char kBottomUp[] = "&Bottom-up Orientation";
inline constexpr const char kColorsGroup[] = "Colors";
inline constexpr const char kHotSpotGroup[] = "Define HotSpot:";
inline constexpr const char kAddImagesTitle[] = "Add Image File(s)";

// View > Rulers, Guides, Grid and Snap.
inline constexpr const char kMenuRulers[] = "&Rulers";
inline constexpr const char kMenuGuides[] = "&Guides";
inline constexpr const char kMenuShowGuides[] = "&Show Guides";
inline constexpr const char kMenuLockGuides[] = "&Lock Guides";
inline constexpr const char kMenuClearGuides[] = "&Clear Guides";
inline constexpr const char kMenuNewGuide[] = "&New Guide...";
inline constexpr const char kMenuGrid[] = "G&rid";
inline constexpr const char kMenuSnap[] = "S&nap";
inline constexpr const char kMenuSnapTo[] = "Snap &To";
inline constexpr const char kMenuSnapCanvas[] = "&Canvas Edges and Center";
inline constexpr const char kMenuSnapGuides[] = "G&uides";
inline constexpr const char kMenuSnapGrid[] = "&Grid";
inline constexpr const char kMenuSnapObjects[] = "&Objects";
inline constexpr const char kNewGuideTitle[] = "New Guide";
inline constexpr const char kGuideOrientation[] = "Orientation:";
inline constexpr const char kGuideHorizontal[] = "&Horizontal";
inline constexpr const char kGuideVertical[] = "&Vertical";
inline constexpr const char kGuidePosition[] = "&Position:";
inline constexpr const char kGridSpacing[] = "Grid spacing:";
inline constexpr const char kGridColor[] = "Grid color:";

// The PSD open question.
inline constexpr const char kPsdOpenTitle[] = "Open PSD File...";
inline constexpr const char kPsdOpenLayers[] = "Import these layers as objects";
inline constexpr const char kPsdOpenComposite[] =
    "Import composite image or the first layer as a single image";
inline constexpr const char kPsdShowTip[] = "Show this tip next time";

} // namespace zepho
