// The file-type scan: walks HKEY_CLASSES_ROOT and builds the type list and
// its pictures from every registered extension with a usable icon.
#pragma once

#include <optional>

#include "catalog/resolver.h"
#include "catalog/type_list.h"
#include "platform/os.h"

namespace tarrow {

// The window side of a scan: progress, yields and the list's presentation.
class ScanHost {
 public:
  virtual ~ScanHost() = default;
  virtual void ShowProgress() = 0;
  virtual void SetProgressMax(int max) = 0;
  virtual void SetProgressValue(int value) = 0;
  virtual void HideProgress() = 0;
  // Lets pending window events run. A host may pass over a call that comes
  // within a few milliseconds of the last one it honoured.
  virtual void DoEvents() = 0;
  // The list's items changed: show them (and size the list's column to its
  // contents).
  virtual void ListChanged() = 0;
  virtual void SetMousePointer(int pointer) = 0;  // 11 hourglass, 0 default
};

// The item a resolved type is listed as, its picture not yet given; nullopt
// for a type the list leaves out: no ProgID, description or icon location of
// its own, or an icon that is each file itself ("%1").
std::optional<TypeItem> ListedItem(const ResolvedType& type);

// The types the list shows, in its order, without pictures: for callers
// without a window.
TypeList ListTypes(Os& os);

// Takes the snapshot of these types' icons when there is none yet, as a
// window's first scan does; true when one was taken.
bool TakeSnapshotIfNone(Os& os, const TypeList& types);

// Rebuilds `types` from the registry, and `images` with a key per type that
// waits for the picture of its icon (ListPictures draws them). Takes a
// snapshot when none exists. Returns false, doing nothing, when a scan is
// already running (a click during a scan's yields).
bool ScanFileTypes(Os& os, ScanHost& host, TypeList& types, ImageStore& images);

// What a type shows when its own icon cannot be drawn: the system's icon of
// a file of unknown type. No file when the system folder is unknown.
IconLocation SystemStandInIcon(Shell& shell);

}  // namespace tarrow
