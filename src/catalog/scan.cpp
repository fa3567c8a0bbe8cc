#include "catalog/scan.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "catalog/icon_location.h"
#include "catalog/resolver.h"
#include "catalog/snapshot.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace tarrow {
namespace {

constexpr int kPointerDefault = 0;
constexpr int kPointerHourglass = 11;

// Clears the list's scan mark on every way out.
class ScanMark {
 public:
  explicit ScanMark(TypeList& types) : types_(types) { types_.set_scanning(true); }
  ~ScanMark() { types_.set_scanning(false); }
  ScanMark(const ScanMark&) = delete;
  ScanMark& operator=(const ScanMark&) = delete;

 private:
  TypeList& types_;
};

}  // namespace

std::optional<TypeItem> ListedItem(const ResolvedType& type) {
  if (type.progId.empty() || !type.defaultIcon || type.description.empty()) return std::nullopt;
  const std::wstring& location = type.defaultIcon->text;
  // "%1": the file is its own icon, so the type has none of its own to show.
  if (location.empty() || IsPerFileIcon(location)) return std::nullopt;
  return TypeItem{.extension = type.extension,
                  .progId = type.progId,
                  .description = type.description,
                  .location = location,
                  .pending = std::nullopt,
                  .picture = {},
                  .layer = type.defaultIcon->layer,
                  .source = type.source,
                  .iconHandler = type.iconHandler};
}

TypeList ListTypes(Os& os) {
  TypeList types;
  TypeResolver resolver(os.registry, os.shell);
  for (const std::wstring& name : resolver.ClassNames()) {
    if (name.empty() || name[0] != L'.') continue;
    if (auto item = ListedItem(resolver.Resolve(name))) types.Add(std::move(*item));
  }
  return types;
}

bool TakeSnapshotIfNone(Os& os, const TypeList& types) {
  SnapshotWriter snapshot(os);
  snapshot.Begin();
  for (const TypeItem& item : types) snapshot.Record(item.progId, item.location);
  return snapshot.End();
}

bool ScanFileTypes(Os& os, ScanHost& host, TypeList& types, ImageStore& images) {
  // A second walk inside the first would interleave both lists' items.
  if (types.scanning()) return false;
  const ScanMark mark(types);

  host.SetMousePointer(kPointerHourglass);
  host.ShowProgress();
  host.DoEvents();

  types.Clear();
  images.Clear();
  host.ListChanged();

  SnapshotWriter snapshot(os);
  snapshot.Begin();

  TypeResolver resolver(os.registry, os.shell);
  const std::vector<std::wstring> names = resolver.ClassNames([&host] { host.DoEvents(); });
  const auto count = static_cast<std::int32_t>(names.size());
  host.SetProgressMax(count);

  for (std::int32_t p = 0; p < count; ++p) {
    host.SetProgressValue(p);
    host.DoEvents();

    const std::wstring& extension = names[static_cast<std::size_t>(p)];
    if (extension.empty() || extension[0] != L'.') continue;
    // The type as the shell shows it: the ProgID the user's choice or the
    // extension names, and the values of whichever layer wins.
    auto item = ListedItem(resolver.Resolve(extension));
    if (!item) continue;
    // The picture is drawn later, off the walk: the list needs none to show.
    item->picture = L"Index" + std::to_wstring(p);
    images.AddWaiting(item->picture, SplitIconLocation(item->location));
    const TypeItem& added = types.Add(std::move(*item));
    snapshot.Record(added.progId, added.location);
  }

  host.ListChanged();
  snapshot.End();
  host.SetMousePointer(kPointerDefault);
  host.HideProgress();
  host.DoEvents();
  return true;
}

IconLocation SystemStandInIcon(Shell& shell) {
  const std::wstring folder = GetSystemFolder(shell);
  if (folder.empty()) return {};
  return {folder + L"\\SHELL32.DLL", 0};
}

}  // namespace tarrow
