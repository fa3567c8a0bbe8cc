#include "catalog/resolver.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <utility>
#include <variant>

#include "catalog/icon_location.h"
#include "platform/registry.h"

namespace tarrow {
namespace {

// Where Explorer keeps what the user did with each extension, per user.
constexpr wchar_t kFileExtsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

// A key name is at most 255 characters on Windows; a damaged hive may hold
// longer ones, and a name longer than this is passed over.
constexpr std::size_t kLongestName = 32768;

// Subkey names in enumeration order. Unlike RegListSubkeys, one name too long
// for the buffer does not end the list: the buffer grows, and the names after
// it are still listed.
std::vector<std::wstring> SubkeyNames(Registry& reg, RegKey root, const std::wstring& path,
                                      const std::function<bool()>& keepGoing = {}) {
  // Asked every so many names: listing a big root is a long walk of its own.
  constexpr std::uint32_t kNamesPerAsk = 64;
  std::vector<std::wstring> names;
  const ScopedKey opened(reg, root, path, RegAccess::Read);
  if (!opened) return names;
  const RegKey key = opened.get();
  std::vector<wchar_t> buffer(256);
  for (std::uint32_t index = 0;; ++index) {
    if (keepGoing && index % kNamesPerAsk == kNamesPerAsk - 1 && !keepGoing()) break;
    std::uint32_t chars = static_cast<std::uint32_t>(buffer.size());
    Status status = reg.EnumKey(key, index, buffer.data(), chars);
    while (status == kErrorMoreData && buffer.size() < kLongestName) {
      buffer.resize(buffer.size() * 2);
      chars = static_cast<std::uint32_t>(buffer.size());
      status = reg.EnumKey(key, index, buffer.data(), chars);
    }
    if (status == kErrorMoreData) continue;
    if (status != kSuccess) break;
    names.emplace_back(buffer.data(), std::min<std::size_t>(chars, buffer.size()));
  }
  return names;
}

// What one layer holds as `name` in `key`: `held` when the value is there at
// all, `value` when it is text.
struct LayerRead {
  bool held = false;
  std::optional<LayeredValue> value;
};

LayerRead ReadOpenLayer(Registry& reg, RegKey key, ClassLayer layer, const std::wstring& name) {
  // Read as RegReadValue reads, so the list's text stays what it always was.
  constexpr std::uint32_t kNotThere = 0xFFFFFFFFu;
  std::uint32_t type = kNotThere;
  RegValue value;
  RegReadOpenValue(reg, key, name, value, &type);
  LayerRead read;
  read.held = type != kNotThere;
  if (type != kRegSz && type != kRegExpandSz) return read;
  const auto* text = std::get_if<std::wstring>(&value);
  LayeredValue found{text ? *text : std::wstring(), type, layer};
  if (!found.text.empty() && found.text.back() == L'\0') found.text.pop_back();
  read.value = std::move(found);
  return read;
}

// The program file a command starts: the quoted text, or the text up to the
// program's own file name (an unquoted path may hold blanks), or up to the
// first blank.
std::wstring ProgramOfCommand(Shell& shell, const std::wstring& command, const std::wstring& programName) {
  const std::size_t start = command.find_first_not_of(L" \t");
  if (start == std::wstring::npos) return {};
  if (command[start] == L'"') {
    const std::size_t close = command.find(L'"', start + 1);
    return command.substr(start + 1, close == std::wstring::npos ? std::wstring::npos : close - start - 1);
  }
  const std::wstring lower = shell.LowerCase(command);
  const std::wstring name = shell.LowerCase(programName);
  for (std::size_t at = lower.find(name, start); at != std::wstring::npos; at = lower.find(name, at + 1)) {
    const std::size_t end = at + name.size();
    const bool whole = (at == start || lower[at - 1] == L'\\' || lower[at - 1] == L'/') &&
                       (end == lower.size() || lower[end] == L' ' || lower[end] == L'\t');
    if (whole) return command.substr(start, end - start);
  }
  return command.substr(start, command.find_first_of(L" \t", start) - start);
}

}  // namespace

std::wstring UnnamedTypeName(const std::wstring& extension) {
  std::wstring name = extension.substr(extension.empty() || extension[0] != L'.' ? 0 : 1);
  for (wchar_t& c : name) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return name.empty() ? L"File" : name + L" File";
}

bool IsApplicationProgId(const std::wstring& progId) {
  return IsApplicationClass(progId) && IsWritableClass(progId);
}

// A class key opened in each layer that has it, so that the values and keys
// below it are reached without walking Software\Classes again.
class TypeResolver::ClassKey {
 public:
  ClassKey(Registry& reg, const std::wstring& path, bool userMayHold) : reg_(reg) {
    if (userMayHold && reg.OpenKey(kCurrentUser, ClassPath(path), RegAccess::Read, user_) != kSuccess)
      user_ = 0;
    if (reg.OpenKey(kLocalMachine, ClassPath(path), RegAccess::Read, machine_) != kSuccess) machine_ = 0;
  }
  ~ClassKey() { Close(); }
  ClassKey(const ClassKey&) = delete;
  ClassKey& operator=(const ClassKey&) = delete;
  ClassKey(ClassKey&& other) noexcept
      : reg_(other.reg_), user_(std::exchange(other.user_, 0)), machine_(std::exchange(other.machine_, 0)) {}
  ClassKey& operator=(ClassKey&& other) noexcept {
    Close();
    user_ = std::exchange(other.user_, 0);
    machine_ = std::exchange(other.machine_, 0);
    return *this;
  }

  bool exists() const { return user_ != 0 || machine_ != 0; }
  // The layer whose key the merged view shows first.
  ClassLayer layer() const { return user_ != 0 ? ClassLayer::User : ClassLayer::Machine; }

  // The value `name` of the key `sub` below this one (empty: this one), as
  // the merged view shows it.
  std::optional<LayeredValue> Read(const std::wstring& sub, const std::wstring& name = L"") {
    for (const auto& [key, layer] :
         {std::pair{user_, ClassLayer::User}, std::pair{machine_, ClassLayer::Machine}}) {
      if (key == 0) continue;
      LayerRead read;
      if (sub.empty()) {
        read = ReadOpenLayer(reg_, key, layer, name);
      } else if (const ScopedKey below(reg_, key, sub, RegAccess::Read); below) {
        read = ReadOpenLayer(reg_, below.get(), layer, name);
      }
      if (read.held) return std::move(read.value);
    }
    return std::nullopt;
  }

  bool Has(const std::wstring& sub) {
    return (user_ != 0 && RegKeyExists(reg_, user_, sub)) ||
           (machine_ != 0 && RegKeyExists(reg_, machine_, sub));
  }

 private:
  void Close() {
    if (user_ != 0) reg_.CloseKey(std::exchange(user_, 0));
    if (machine_ != 0) reg_.CloseKey(std::exchange(machine_, 0));
  }

  Registry& reg_;
  RegKey user_ = 0;
  RegKey machine_ = 0;
};

TypeResolver::TypeResolver(Registry& registry, Shell& shell) : registry_(registry), shell_(shell) {}

void TypeResolver::LoadUserNames() {
  if (userNamesLoaded_) return;
  userNamesLoaded_ = true;
  // Most machines keep few classes per user: knowing their names spares an
  // open of a per-user key that is not there for nearly every read.
  userClassNames_ = SubkeyNames(registry_, kCurrentUser, kClassesKey);
  for (const auto& name : userClassNames_) userClasses_.insert(shell_.LowerCase(name));
  extensionNames_ = SubkeyNames(registry_, kCurrentUser, kFileExtsKey);
  for (const auto& name : extensionNames_) extensionChoices_.insert(shell_.LowerCase(name));
}

bool TypeResolver::UserMayHold(const std::wstring& path) {
  LoadUserNames();
  return userClasses_.count(shell_.LowerCase(path.substr(0, path.find(L'\\')))) > 0;
}

bool TypeResolver::Same(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && shell_.LowerCase(a) == shell_.LowerCase(b);
}

std::vector<std::wstring> TypeResolver::ClassNames(const std::function<bool()>& keepGoing) {
  const std::vector<std::wstring> rootNames = SubkeyNames(registry_, kClassesRoot, L"", keepGoing);
  LoadUserNames();
  std::unordered_set<std::wstring> listed;
  for (const auto& name : rootNames) listed.insert(shell_.LowerCase(name));
  std::vector<std::wstring> more;
  for (const auto& name : userClassNames_) {
    if (listed.insert(shell_.LowerCase(name)).second) more.push_back(name);
  }
  // An extension Explorer draws through the program the user chose for it,
  // though no layer registers the extension itself.
  for (const auto& name : extensionNames_) {
    if (name.empty() || name[0] != L'.' || listed.count(shell_.LowerCase(name))) continue;
    if (!UserChoiceProgId(name).empty() && listed.insert(shell_.LowerCase(name)).second) more.push_back(name);
  }
  if (more.empty()) return rootNames;
  // The registry keeps subkeys sorted by their names in capitals.
  const auto before = [](const std::wstring& a, const std::wstring& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
      const auto upper = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; };
      return upper(x) < upper(y);
    });
  };
  std::stable_sort(more.begin(), more.end(), before);
  std::vector<std::wstring> names;
  names.reserve(rootNames.size() + more.size());
  std::merge(rootNames.begin(), rootNames.end(), more.begin(), more.end(), std::back_inserter(names), before);
  return names;
}

std::optional<std::wstring> TypeResolver::Indirect(const std::wstring& text) {
  // Any other text is its own name, as the system would give it back.
  if (text[0] != L'@') return text;
  const auto [known, added] = indirect_.try_emplace(text);
  if (added) known->second = shell_.LoadIndirectString(text);
  return known->second;
}

std::optional<LayeredValue> TypeResolver::NameOf(ClassKey& key) {
  // "FriendlyTypeName": the localized name, which comes before the default
  // value; one the system cannot resolve is no name.
  if (auto friendly = key.Read(L"", L"FriendlyTypeName"); friendly && !friendly->text.empty()) {
    if (const auto name = Indirect(friendly->text); name && !name->empty() && (*name)[0] != L'@') {
      friendly->text = *name;
      return friendly;
    }
  }
  if (auto own = key.Read(L""); own && !own->text.empty()) return own;
  return std::nullopt;
}

std::optional<LayeredValue> TypeResolver::ReadMerged(const std::wstring& path, const std::wstring& name) {
  return ClassKey(registry_, path, UserMayHold(path)).Read(L"", name);
}

bool TypeResolver::ClassExists(const std::wstring& path) {
  if (UserMayHold(path) && RegKeyExists(registry_, kCurrentUser, ClassPath(path))) return true;
  return RegKeyExists(registry_, kLocalMachine, ClassPath(path));
}

std::wstring TypeResolver::UserChoiceProgId(const std::wstring& extension) {
  LoadUserNames();
  if (!extensionChoices_.count(shell_.LowerCase(extension))) return {};
  const ScopedKey opened(registry_, kCurrentUser, std::wstring(kFileExtsKey) + L"\\" + extension,
                         RegAccess::Read);
  if (!opened) return {};
  const RegKey record = opened.get();
  // The newest systems keep the choice in UserChoiceLatest and leave an older
  // one in UserChoice; a choice of a ProgID since removed is not followed.
  std::wstring found;
  for (const wchar_t* choice : {L"UserChoiceLatest", L"UserChoice"}) {
    std::wstring progId = RegReadValue(registry_, record, choice, L"ProgId");
    if (!progId.empty() && ClassExists(progId)) {
      found = std::move(progId);
      break;
    }
  }
  return found;
}

TypeResolver::ClassKey TypeResolver::FollowCurVer(const std::wstring& progId, std::wstring& last, int& hops,
                                                  std::vector<std::wstring>* targets) {
  ClassKey current(registry_, progId, UserMayHold(progId));
  std::vector<std::wstring> reached{progId};
  hops = 0;
  while (hops < kMaxCurVerHops) {
    const auto next = current.Read(L"CurVer");
    if (!next || next->text.empty()) break;
    ClassKey target(registry_, next->text, UserMayHold(next->text));
    if (!target.exists()) break;
    // A loop (A -> B -> A) ends at the last ProgID reached before it closes.
    if (std::any_of(reached.begin(), reached.end(), [&](const auto& p) { return Same(p, next->text); }))
      break;
    current = std::move(target);
    reached.push_back(next->text);
    ++hops;
    if (targets) targets->push_back(next->text);
  }
  last = reached.back();
  return current;
}

ResolvedType TypeResolver::Resolve(const std::wstring& extension) {
  ResolvedType type;
  type.extension = extension;
  const auto defaultValue = ReadMerged(extension);
  const std::wstring fromDefault = defaultValue ? defaultValue->text : std::wstring();
  const std::wstring choice = UserChoiceProgId(extension);

  std::wstring start = choice.empty() ? fromDefault : choice;
  ProgIdSource source = choice.empty() ? ProgIdSource::Default : ProgIdSource::UserChoice;
  // The system checks a user choice's protection hash, which the registry
  // alone cannot: where it answers, its answer stands.
  if (const auto answer = shell_.AssociatedProgId(extension);
      answer && !answer->empty() && ClassExists(*answer)) {
    auto reachedByCurVer = [&](const std::wstring& from) {
      if (from.empty()) return false;
      std::vector<std::wstring> targets;
      std::wstring last;
      int hops = 0;
      FollowCurVer(from, last, hops, &targets);
      return std::any_of(targets.begin(), targets.end(), [&](const auto& t) { return Same(t, *answer); });
    };
    start = *answer;
    if (!choice.empty() && Same(*answer, choice)) {
      source = ProgIdSource::UserChoice;
    } else if (!fromDefault.empty() && Same(*answer, fromDefault)) {
      source = ProgIdSource::Default;
    } else if (reachedByCurVer(choice) || reachedByCurVer(fromDefault)) {
      source = ProgIdSource::CurVer;
    } else {
      source = ProgIdSource::System;
    }
  }
  if (start.empty()) return type;

  int hops = 0;
  ClassKey progIdKey = FollowCurVer(start, type.progId, hops);
  type.source = hops > 0 ? ProgIdSource::CurVer : source;
  if (!progIdKey.exists()) return type;
  type.classLayer = progIdKey.layer();
  if (const auto description = NameOf(progIdKey)) {
    type.description = description->text;
    type.classLayer = description->layer;
  }
  type.defaultIcon = progIdKey.Read(L"DefaultIcon");
  if (IsApplicationProgId(type.progId)) DescribeApplication(type, progIdKey, fromDefault);
  if (type.description.empty()) type.description = UnnamedTypeName(extension);
  type.iconHandler =
      (type.defaultIcon && IsPerFileIcon(type.defaultIcon->text)) || progIdKey.Has(L"shellex\\IconHandler");
  return type;
}

void TypeResolver::DescribeApplication(ResolvedType& type, ClassKey& program,
                                       const std::wstring& extensionProgId) {
  const std::wstring programName = type.progId.substr(kApplicationsPrefix.size());
  // Such a class has no name of its own: Explorer's Type column goes on to
  // the extension's own class, so the type keeps the name the user knows it
  // by. Failing that, the program's name: FriendlyAppName when it is plain
  // text (an "@file,-id" name needs a resource read), else its file name.
  if (type.description.empty() && !extensionProgId.empty() && !Same(extensionProgId, type.progId)) {
    std::wstring reached;
    int hops = 0;
    ClassKey own = FollowCurVer(extensionProgId, reached, hops);
    if (const auto name = NameOf(own)) type.description = name->text;
  }
  if (type.description.empty()) {
    const auto friendly = program.Read(L"", L"FriendlyAppName");
    type.description =
        friendly && !friendly->text.empty() && friendly->text[0] != L'@' ? friendly->text : programName;
  }
  // "DefaultIcon: an icon to represent the application instead of the first
  // icon stored in the .exe file": without one, that first icon is it.
  if (type.defaultIcon) return;
  const auto command = program.Read(L"shell\\open\\command");
  if (!command) return;
  const std::wstring file = ProgramOfCommand(shell_, command->text, programName);
  if (file.empty()) return;
  type.defaultIcon = LayeredValue{BuildIconLocation(file, 0), command->type, command->layer};
  type.programIcon = true;
}

}  // namespace tarrow
