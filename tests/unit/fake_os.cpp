#include "fake_os.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace tarrow::fake {

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

namespace {

std::vector<std::wstring> SplitPath(const std::wstring& path) {
  std::vector<std::wstring> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const auto end = path.find(L'\\', start);
    const auto part = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (!part.empty()) parts.push_back(part);
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  return parts;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return Lower(a) == Lower(b);
}

// HKEY_CLASSES_ROOT is the machine's classes.
void Unalias(RegKey& root, std::wstring& path) {
  if (root != kClassesRoot) return;
  root = kLocalMachine;
  path = path.empty() ? L"Software\\Classes" : L"Software\\Classes\\" + path;
}

std::wstring FolderOf(const std::wstring& path) {
  const auto slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

// ---- registry

FakeRegistry::Node* FakeRegistry::Root(RegKey root) const {
  const auto it = roots_.find(root);
  return it == roots_.end() ? nullptr : it->second.get();
}

FakeRegistry::Node* FakeRegistry::Lookup(RegKey root, const std::wstring& givenPath) const {
  std::wstring path = givenPath;
  Unalias(root, path);
  Node* node = Root(root);
  if (!node) {
    const auto open = handles_.find(root);
    if (open == handles_.end()) return nullptr;
    node = open->second.node;
  }
  for (const auto& part : SplitPath(path)) {
    node = node->Child(part);
    if (!node) return nullptr;
  }
  return node;
}

FakeRegistry::Node* FakeRegistry::Node::Child(const std::wstring& childName) const {
  const auto it = byLowerName_.find(Lower(childName));
  return it == byLowerName_.end() ? nullptr : it->second;
}

void FakeRegistry::Node::RemoveChild(const std::wstring& childName) {
  Node* child = Child(childName);
  byLowerName_.erase(Lower(childName));
  children.erase(std::find_if(children.begin(), children.end(),
                              [&](const auto& owned) { return owned.get() == child; }));
}

FakeRegistry::Node& FakeRegistry::Node::AddChild(const std::wstring& childName) {
  children.push_back(std::make_unique<Node>());
  children.back()->name = childName;
  byLowerName_[Lower(childName)] = children.back().get();
  return *children.back();
}

FakeRegistry::Node& FakeRegistry::CreateKey(RegKey root, const std::wstring& givenPath) {
  const std::lock_guard lock(mutex_);
  std::wstring path = givenPath;
  Unalias(root, path);
  auto& slot = roots_[root];
  if (!slot) slot = std::make_unique<Node>();
  Node* node = slot.get();
  for (const auto& part : SplitPath(path)) {
    Node* child = node->Child(part);
    node = child ? child : &node->AddChild(part);
  }
  return *node;
}

void FakeRegistry::SetRaw(RegKey root, const std::wstring& path, const std::wstring& name, std::uint32_t type,
                          std::vector<unsigned char> bytes) {
  const std::lock_guard lock(mutex_);
  auto& values = CreateKey(root, path).values;
  const auto it = std::find_if(values.begin(), values.end(),
                               [&](const auto& value) { return SameName(value.first, name); });
  StoredValue stored{type, std::move(bytes)};
  if (it == values.end()) {
    values.emplace_back(name, std::move(stored));
  } else {
    it->second = std::move(stored);
  }
}

void FakeRegistry::SetText(RegKey root, const std::wstring& path, const std::wstring& name,
                           const std::wstring& text, std::uint32_t type) {
  const std::lock_guard lock(mutex_);
  std::vector<unsigned char> bytes((text.size() + 1) * sizeof(wchar_t), 0);
  std::memcpy(bytes.data(), text.data(), text.size() * sizeof(wchar_t));
  SetRaw(root, path, name, type, std::move(bytes));
}

const StoredValue* FakeRegistry::Find(RegKey root, const std::wstring& path, const std::wstring& name) const {
  const std::lock_guard lock(mutex_);
  const Node* node = Lookup(root, path);
  if (!node) return nullptr;
  for (const auto& value : node->values) {
    if (SameName(value.first, name)) return &value.second;
  }
  return nullptr;
}

std::wstring FakeRegistry::Text(RegKey root, const std::wstring& path, const std::wstring& name) const {
  const std::lock_guard lock(mutex_);
  const StoredValue* value = Find(root, path, name);
  if (!value) return L"<missing>";
  std::wstring text(value->bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), value->bytes.data(), text.size() * sizeof(wchar_t));
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

namespace {

void DumpNode(const FakeRegistry::Node& node, const std::wstring& path, std::wstring& out) {
  out += L"[" + path + L"]\n";
  std::vector<std::pair<std::wstring, const StoredValue*>> values;
  for (const auto& [name, value] : node.values) values.emplace_back(Lower(name), &value);
  std::sort(values.begin(), values.end());
  for (const auto& [name, value] : values) {
    out += L"  " + name + L" type " + std::to_wstring(value->type) + L":";
    for (const unsigned char b : value->bytes) out += L" " + std::to_wstring(b);
    out += L"\n";
  }
  std::vector<std::pair<std::wstring, const FakeRegistry::Node*>> children;
  for (const auto& child : node.children) children.emplace_back(Lower(child->name), child.get());
  std::sort(children.begin(), children.end());
  for (const auto& [name, child] : children) DumpNode(*child, path + L"\\" + name, out);
}

}  // namespace

std::wstring FakeRegistry::Dump(RegKey root) const {
  const std::lock_guard lock(mutex_);
  std::wstring out;
  if (const Node* node = Root(root)) DumpNode(*node, L"", out);
  return out;
}

bool FakeRegistry::KeyExists(RegKey root, const std::wstring& path) const {
  const std::lock_guard lock(mutex_);
  return Lookup(root, path) != nullptr;
}

void FakeRegistry::SetReadOnly(RegKey root, const std::wstring& path, bool readOnly) {
  const std::lock_guard lock(mutex_);
  CreateKey(root, path).readOnly = readOnly;
}

Status FakeRegistry::OpenKey(RegKey root, const std::wstring& path, RegAccess access, RegKey& key) {
  if (beforeRead) beforeRead();
  const std::lock_guard lock(mutex_);
  Node* node = Lookup(root, path);
  if (!node) return kErrorFileNotFound;
  if (access == RegAccess::SetValue && node->readOnly) return kErrorAccessDenied;
  key = next_++;
  std::wstring full = path;
  if (const auto open = handles_.find(root); open != handles_.end()) full = open->second.path + L"\\" + path;
  handles_[key] = Open{node, access, full};
  return kSuccess;
}

Status FakeRegistry::QueryValue(RegKey key, const std::wstring& name, std::uint32_t& type, void* data,
                                std::uint32_t& bytes) {
  if (beforeRead) beforeRead();
  const std::lock_guard lock(mutex_);
  const auto open = handles_.find(key);
  if (open == handles_.end()) return 6;  // ERROR_INVALID_HANDLE
  const auto& values = open->second.node->values;
  const auto it = std::find_if(values.begin(), values.end(),
                               [&](const auto& value) { return SameName(value.first, name); });
  if (it == values.end()) return kErrorFileNotFound;
  const auto& stored = it->second;
  type = stored.type;
  const auto size = static_cast<std::uint32_t>(stored.bytes.size());
  if (!data) {
    bytes = size;
    return kSuccess;
  }
  if (bytes < size) {
    bytes = size;
    return kErrorMoreData;
  }
  std::memcpy(data, stored.bytes.data(), size);
  bytes = size;
  return kSuccess;
}

Status FakeRegistry::SetValue(RegKey key, const std::wstring& name, std::uint32_t type, const void* data,
                              std::uint32_t bytes) {
  const std::lock_guard lock(mutex_);
  const auto open = handles_.find(key);
  if (open == handles_.end()) return 6;
  if (open->second.access != RegAccess::SetValue) return kErrorAccessDenied;
  if (open->second.node->protectedKey && !elevated) return kErrorAccessDenied;
  Step();
  auto& values = open->second.node->values;
  const auto* begin = static_cast<const unsigned char*>(data);
  StoredValue stored{type, std::vector<unsigned char>(begin, begin + bytes)};
  const auto it = std::find_if(values.begin(), values.end(),
                               [&](const auto& value) { return SameName(value.first, name); });
  if (it == values.end()) {
    values.emplace_back(name, std::move(stored));
  } else {
    it->second = std::move(stored);
  }
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data, text.size() * sizeof(wchar_t));
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  writes.push_back(open->second.path + L"|" + name + L"=" + (type == kRegDword ? L"<dword>" : text));
  return kSuccess;
}

Status FakeRegistry::EnumKey(RegKey key, std::uint32_t index, wchar_t* name, std::uint32_t& chars) {
  if (beforeRead) beforeRead();
  const std::lock_guard lock(mutex_);
  const auto open = handles_.find(key);
  if (open == handles_.end()) return 6;
  const auto& children = open->second.node->children;
  if (index >= children.size()) return kErrorNoMoreItems;
  const auto& child = children[index]->name;
  if (child.size() + 1 > chars) return kErrorMoreData;
  std::copy(child.begin(), child.end(), name);
  name[child.size()] = L'\0';
  chars = static_cast<std::uint32_t>(child.size());
  return kSuccess;
}

Status FakeRegistry::CloseKey(RegKey key) {
  const std::lock_guard lock(mutex_);
  ++closeCalls;
  return handles_.erase(key) ? kSuccess : 6;
}

FakeRegistry::Node* FakeRegistry::Parent(RegKey root, const std::wstring& path, std::wstring& leaf) const {
  const auto parts = SplitPath(path);
  if (parts.empty()) return nullptr;
  leaf = parts.back();
  std::wstring parentPath;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) parentPath += (i ? L"\\" : L"") + parts[i];
  return Lookup(root, parentPath);
}

Status FakeRegistry::CreateKey(RegKey root, const std::wstring& path, RegKey& key, bool& created) {
  const std::lock_guard lock(mutex_);
  // As the system does: every missing key is created under its parent, which
  // must allow it; an existing key opens as for setting values.
  // Predefined roots are always there.
  if (!handles_.count(root) && root != kClassesRoot && !roots_[root]) roots_[root] = std::make_unique<Node>();
  const auto parts = SplitPath(path);
  std::wstring done;
  created = false;
  for (const auto& part : parts) {
    Node* parent = Lookup(root, done);
    if (!parent) return kErrorFileNotFound;
    const std::wstring next = done.empty() ? part : done + L"\\" + part;
    if (!parent->Child(part)) {
      if (parent->readOnly) return kErrorAccessDenied;
      Step();
      parent->AddChild(part);
      created = true;
    } else {
      created = false;
    }
    done = next;
  }
  return OpenKey(root, path, RegAccess::SetValue, key);
}

Status FakeRegistry::DeleteValue(RegKey key, const std::wstring& name) {
  const std::lock_guard lock(mutex_);
  const auto open = handles_.find(key);
  if (open == handles_.end()) return 6;
  if (open->second.access != RegAccess::SetValue) return kErrorAccessDenied;
  if (open->second.node->protectedKey && !elevated) return kErrorAccessDenied;
  Step();
  auto& values = open->second.node->values;
  const auto it = std::find_if(values.begin(), values.end(),
                               [&](const auto& value) { return SameName(value.first, name); });
  if (it == values.end()) return kErrorFileNotFound;
  values.erase(it);
  writes.push_back(open->second.path + L"|" + name + L" deleted");
  return kSuccess;
}

Status FakeRegistry::DeleteKey(RegKey root, const std::wstring& path) {
  const std::lock_guard lock(mutex_);
  std::wstring leaf;
  Node* parent = Parent(root, path, leaf);
  Node* node = parent ? parent->Child(leaf) : nullptr;
  if (!node) return kErrorFileNotFound;
  if (parent->readOnly || node->readOnly) return kErrorAccessDenied;
  if (!node->children.empty()) return kErrorAccessDenied;
  for (const auto& [handle, open] : handles_) {
    if (open.node == node) return kErrorAccessDenied;  // the fake keeps open keys alive
  }
  Step();
  parent->RemoveChild(leaf);
  writes.push_back(path + L" deleted");
  return kSuccess;
}

Status FakeRegistry::CreateProtectedKey(RegKey root, const std::wstring& path, RegKey& key) {
  // A standard user cannot create keys below the machine's Software key.
  if (!elevated && !Lookup(root, path)) return kErrorAccessDenied;
  bool created = false;
  const Status status = CreateKey(root, path, key, created);
  if (status == kSuccess && created) handles_[key].node->protectedKey = true;
  if (status == kSuccess && !elevated && Lookup(root, path)->protectedKey) {
    CloseKey(key);
    return kErrorAccessDenied;
  }
  return status;
}

bool FakeRegistry::OnlyAdministratorsCanChange(RegKey key) {
  const auto open = handles_.find(key);
  return open != handles_.end() && open->second.node->protectedKey;
}

Status FakeRegistry::FlushKey(RegKey key) {
  (void)key;
  ++flushes;
  return kSuccess;
}

void FakeRegistry::SetProtected(RegKey root, const std::wstring& path, bool isProtected) {
  CreateKey(root, path).protectedKey = isProtected;
}

Status FakeRegistry::CountEntries(RegKey key, std::uint32_t& subkeys, std::uint32_t& values) {
  const std::lock_guard lock(mutex_);
  const auto open = handles_.find(key);
  if (open == handles_.end()) return 6;
  subkeys = static_cast<std::uint32_t>(open->second.node->children.size());
  values = static_cast<std::uint32_t>(open->second.node->values.size());
  return kSuccess;
}

// ---- files

namespace {

class FakeOutputFile : public OutputFile {
 public:
  FakeOutputFile(FakeFileSystem& fs, std::wstring path) : fs_(fs), path_(std::move(path)) {}
  bool Write(std::string_view bytes) override {
    if (fs_.spaceLeft >= 0 && static_cast<long long>(bytes.size()) > fs_.spaceLeft) {
      fs_.files[path_].append(bytes.substr(0, static_cast<std::size_t>(fs_.spaceLeft)));
      fs_.spaceLeft = 0;
      return false;
    }
    if (fs_.spaceLeft >= 0) fs_.spaceLeft -= static_cast<long long>(bytes.size());
    fs_.files[path_].append(bytes);
    return true;
  }
  bool Commit() override {
    ++fs_.commits;
    return !fs_.failCommits;
  }

 private:
  FakeFileSystem& fs_;
  std::wstring path_;
};

}  // namespace

bool FakeFileSystem::CanOpenForRead(const std::wstring& path) {
  return files.count(path) && !unreadable.count(path);
}

std::optional<std::string> FakeFileSystem::ReadAll(const std::wstring& path) {
  if (!CanOpenForRead(path)) return std::nullopt;
  return files[path];
}

bool FakeFileSystem::MayChangeIn(const std::wstring& folder) const {
  return !readOnlyFolders.count(folder) && !linkedFolders.count(folder) &&
         (elevated || !protectedFolders.count(folder));
}

std::unique_ptr<OutputFile> FakeFileSystem::Create(const std::wstring& path) {
  if (!MayChangeIn(FolderOf(path)) || folders.count(path)) return nullptr;
  files[path].clear();
  return std::make_unique<FakeOutputFile>(*this, path);
}

bool FakeFileSystem::Replace(const std::wstring& from, const std::wstring& to) {
  const auto it = files.find(from);
  if (it == files.end() || !MayChangeIn(FolderOf(to))) return false;
  if (crash) crash->Step();
  files[to] = it->second;
  files.erase(from);
  return true;
}

bool FakeFileSystem::Remove(const std::wstring& path) {
  if (!MayChangeIn(FolderOf(path))) return false;
  if (crash && files.count(path)) crash->Step();
  return files.erase(path) > 0;
}

bool FakeFileSystem::EnsureFolder(const std::wstring& path) {
  if (linkedFolders.count(path)) return false;
  if (!MayChangeIn(FolderOf(path))) return folders.count(path) > 0;
  folders.insert(path);
  return true;
}

bool FakeFileSystem::RemoveEmptyFolder(const std::wstring& path) {
  if (!folders.count(path) || !MayChangeIn(FolderOf(path))) return false;
  const std::wstring inside = path + L"\\";
  for (const auto& [file, bytes] : files)
    if (file.starts_with(inside)) return false;
  for (const auto& folder : folders)
    if (folder.starts_with(inside)) return false;
  folders.erase(path);
  protectedFolders.erase(path);
  return true;
}

bool FakeFileSystem::EnsureProtectedFolder(const std::wstring& path) {
  // As CreateDirectory: a folder already there keeps its access list, and
  // only an administrator may make Administrators the owner of a new one.
  if (linkedFolders.count(path) || files.count(path)) return false;
  if (folders.count(path)) return true;
  if (!elevated || !MayChangeIn(FolderOf(path))) return false;
  folders.insert(path);
  if (ownerKept) protectedFolders.insert(path);
  return true;
}

bool FakeFileSystem::OnlyAdministratorsCanChange(const std::wstring& path) {
  return folders.count(path) && protectedFolders.count(path) && !linkedFolders.count(path);
}

std::optional<std::uint64_t> FakeFileSystem::FileSize(const std::wstring& path) {
  if (!CanOpenForRead(path)) return std::nullopt;
  return files[path].size();
}

// ---- shell

DecodedPicture FakeShell::DecodePicture(std::string_view bytes, int maxSide) {
  const auto it = pictures.find(std::string(bytes));
  if (it == pictures.end()) return {};
  const RgbaImage& picture = it->second;
  DecodedPicture decoded{picture.width, picture.height, std::nullopt};
  const bool whole = picture.pixels.size() ==
                     static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 4;
  // As the system's decoders: no picture of no pixels, and the size is
  // known before the pixels are read.
  if (picture.width <= 0 || picture.height <= 0) return {};
  if (whole && picture.width <= maxSide && picture.height <= maxSide) decoded.image = picture;
  return decoded;
}

std::optional<std::string> FakeShell::EncodePng(const RgbaImage& image) {
  const bool whole = image.pixels.size() ==
                     static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4;
  if (failPngEncoding || image.width <= 0 || image.height <= 0 || !whole) return std::nullopt;
  std::string bytes = "PNG" + std::to_string(image.width) + "x" + std::to_string(image.height) + ":";
  bytes.append(image.pixels.begin(), image.pixels.end());
  return bytes;
}

IconHandle FakeShell::IconFromImage(const RgbaImage& image) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() !=
          static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4)
    return 0;
  std::lock_guard lock(iconsMutex_);
  const IconHandle handle = next_++;
  const std::wstring name = L"image " + std::to_wstring(image.width) + L"x" + std::to_wstring(image.height);
  live_[handle] = name;
  given_[handle] = name;
  return handle;
}

std::wstring FakeShell::ExpandEnvironment(const std::wstring& text) {
  std::wstring result;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto open = text.find(L'%', pos);
    const auto close = open == std::wstring::npos ? std::wstring::npos : text.find(L'%', open + 1);
    if (close == std::wstring::npos) break;
    result += text.substr(pos, open - pos);
    const auto name = text.substr(open + 1, close - open - 1);
    const auto it = std::find_if(environment.begin(), environment.end(),
                                 [&](const auto& var) { return SameName(var.first, name); });
    if (it != environment.end()) {
      result += it->second;
      pos = close + 1;
    } else {
      result += L'%' + name;
      pos = close;
    }
  }
  return result + text.substr(std::min(pos, text.size()));
}

std::wstring FakeShell::AnsiToWide(std::string_view bytes) {
  // The upper half of Windows-1252 that differs from Latin-1 is not needed by
  // the tests; Latin-1 is exact for the rest.
  std::wstring text;
  for (unsigned char c : bytes) text += static_cast<wchar_t>(c == 0x80 ? 0x20AC : c);
  return text;
}

int FakeShell::CountIcons(const std::wstring& file) {
  const auto it = iconFiles.find(Lower(file));
  return it == iconFiles.end() ? 0 : it->second;
}

std::vector<IconHandle> FakeShell::ExtractIcons(const std::wstring& file, int first, int count, int sizePx) {
  std::lock_guard lock(iconsMutex_);
  ++extractCalls;
  std::vector<IconHandle> icons;
  if (nonIconFiles.count(Lower(file))) return std::vector<IconHandle>(first < 0 ? 1 : std::max(count, 0), 1);
  const int available = CountIcons(file);
  for (int i = 0; i < std::max(count, 0); ++i) {
    const int index = first + i;
    // A negative index names a resource; the fake files have resource 1 only.
    const bool exists = index >= 0 ? index < available : (index == -1 && available > 0);
    IconHandle handle = 0;
    if (exists) {
      handle = next_++;
      live_[handle] = given_[handle] =
          Lower(file) + L"#" + std::to_wstring(index) + L"@" + std::to_wstring(sizePx);
    }
    icons.push_back(handle);
    if (index < 0) break;
  }
  return icons;
}

std::optional<std::wstring> FakeShell::LoadIndirectString(const std::wstring& text) {
  std::lock_guard lock(iconsMutex_);
  ++indirectQueries;
  if (text.empty() || text[0] != L'@') return text;
  std::wstring key;
  if (text.size() > 2 && text[1] == L'{' && text.back() == L'}') {
    key = Lower(text.substr(2, text.size() - 3));
  } else {
    std::wstring source = text.substr(1);
    if (const auto version = source.rfind(L";v"); version != std::wstring::npos) source.resize(version);
    const auto comma = source.rfind(L',');
    if (comma == std::wstring::npos) return std::nullopt;
    std::wstring file = source.substr(0, comma);
    if (file.size() >= 2 && file.front() == L'"' && file.back() == L'"')
      file = file.substr(1, file.size() - 2);
    key = Lower(ExpandEnvironment(file)) + source.substr(comma);
  }
  const auto found = indirectStrings.find(key);
  if (found == indirectStrings.end()) return std::nullopt;
  return found->second;
}

std::optional<std::wstring> FakeShell::AssociatedProgId(const std::wstring& extension) {
  const auto it = associations.find(Lower(extension));
  if (it == associations.end()) return std::nullopt;
  return it->second;
}

std::optional<std::wstring> FakeShell::ShellIconLocation(const std::wstring& extension) {
  ++shellIconQueries;
  if (const auto set = shellIcons.find(Lower(extension)); set != shellIcons.end()) return set->second;
  if (!classes) return std::nullopt;
  auto merged = [&](const std::wstring& path) -> std::wstring {
    for (const RegKey root : {kCurrentUser, kLocalMachine}) {
      if (machineLayerOnly && root == kCurrentUser) continue;
      if (classes->Find(root, L"Software\\Classes\\" + path, L""))
        return classes->Text(root, L"Software\\Classes\\" + path);
    }
    return {};
  };
  std::wstring progId = merged(extension);
  if (const auto chosen = associations.find(Lower(extension));
      chosen != associations.end() && !machineLayerOnly)
    progId = chosen->second;
  return progId.empty() ? std::wstring() : merged(progId + L"\\DefaultIcon");
}

void FakeShell::DestroyIcon(IconHandle icon) {
  std::lock_guard lock(iconsMutex_);
  if (live_.erase(icon) == 0) ++invalidDestroys;
}

IconDirectory FakeShell::ReadIconDirectory(const std::wstring& file) {
  const auto it = iconDirectories.find(Lower(file));
  return it == iconDirectories.end() ? IconDirectory{} : it->second;
}

std::wstring FakeShell::Describe(IconHandle icon) const {
  std::lock_guard lock(iconsMutex_);
  const auto it = given_.find(icon);
  return it == given_.end() ? L"<none>" : it->second;
}

std::optional<std::wstring> FakeShell::ShowOpenDialog(const OpenDialogRequest& request) {
  dialogRequests.push_back(request);
  if (dialogAnswers.empty()) return std::nullopt;
  auto answer = dialogAnswers.front();
  dialogAnswers.erase(dialogAnswers.begin());
  if (answer == L"\x1") return std::nullopt;
  return answer;
}

std::unique_ptr<ChangeLock> FakeShell::LockChanges(unsigned waitMs) {
  (void)waitMs;
  ++lockRequests;
  if (lockedElsewhere) return nullptr;
  class Held : public ChangeLock {
   public:
    explicit Held(bool& locked) : locked_(locked) { locked_ = true; }
    ~Held() override { locked_ = false; }

   private:
    bool& locked_;
  };
  return std::make_unique<Held>(locked);
}

int FakeShell::MessageBox(const std::wstring& text, unsigned style) {
  messages.emplace_back(text, style);
  if (messageAnswers.empty()) return style & kMbYesNo ? kIdNo : 1;
  const int answer = messageAnswers.front();
  messageAnswers.erase(messageAnswers.begin());
  return answer;
}

}  // namespace tarrow::fake
