// The type resolver: which ProgID Explorer uses for an extension, and which
// class layer holds each value the program shows or changes.
//
// HKEY_CLASSES_ROOT merges the per-user and machine layers, but Wine's does
// not, and the merged view never says where a value came from. The resolver
// reads both layers itself and merges them as Windows does: key by key and
// value by value, the user's layer winning.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "catalog/class_layer.h"
#include "platform/os.h"

namespace tarrow {

// How the effective ProgID was found.
enum class ProgIdSource {
  Default,     // the extension's default value
  UserChoice,  // the default app the user picked (Open with, Always)
  CurVer,      // a CurVer hand-over from one of those
  System,      // the system's own answer, which no registry reading reached
};

// One value as the merged view gives it.
struct LayeredValue {
  std::wstring text;       // as RegReadValue gives it: no terminator, REG_EXPAND_SZ without leading blanks
  std::uint32_t type = 0;  // kRegSz or kRegExpandSz
  ClassLayer layer = ClassLayer::Machine;
};

struct ResolvedType {
  std::wstring extension;  // as enumerated, with its dot
  std::wstring progId;     // the effective ProgID; empty when none
  ProgIdSource source = ProgIdSource::Default;
  // The name Explorer shows: the class's FriendlyTypeName as the system
  // resolves it, else its default value, else the name Explorer gives a
  // type without one ("LUA File"); empty when the class has no key.
  std::wstring description;
  // The layer whose class key gives the description.
  ClassLayer classLayer = ClassLayer::Machine;
  std::optional<LayeredValue> defaultIcon;  // <ProgID>\DefaultIcon's default value
  // Icons decided file by file: DefaultIcon "%1", or an icon handler.
  bool iconHandler = false;
  // `defaultIcon` is the program's own first icon, read from its command: an
  // Applications\<program> class without a DefaultIcon key.
  bool programIcon = false;
};

// Whether `progId` is a program chosen by its file ("Open with", then a
// program browsed to): "Applications\" and the program's file name, with no
// other backslash.
bool IsApplicationProgId(const std::wstring& progId);

// The name Explorer gives a file type whose class names none: the
// extension without its dot, in capitals, and " File".
std::wstring UnnamedTypeName(const std::wstring& extension);

// Hand-overs followed from one ProgID to the next before giving up on a chain.
inline constexpr int kMaxCurVerHops = 8;

class TypeResolver {
 public:
  TypeResolver(Registry& registry, Shell& shell);

  // HKEY_CLASSES_ROOT's subkey names in its enumeration order, with the
  // names only the per-user layer holds, and the extensions known only from
  // a user's choice of program, each at its place in that order (names
  // compared as the registry sorts them): a merged root already shows the
  // first, Wine's does not, and neither shows the last. `keepGoing` is asked now and then
  // on the way, as the names of a big root take a while to list; when it
  // says no, the names listed so far are returned.
  std::vector<std::wstring> ClassNames(const std::function<bool()>& keepGoing = {});

  ResolvedType Resolve(const std::wstring& extension);

  // The value `name` of the class key at `path` (below Software\Classes) as
  // the merged view shows it; nullopt when neither layer holds it as text.
  // A per-user value of another type hides the machine's, as it does there.
  std::optional<LayeredValue> ReadMerged(const std::wstring& path, const std::wstring& name = L"");

  // Whether `path` is a key in either layer.
  bool ClassExists(const std::wstring& path);

 private:
  class ClassKey;
  void LoadUserNames();
  // Whether the per-user layer may hold `path`: its first key must be there.
  bool UserMayHold(const std::wstring& path);
  std::wstring UserChoiceProgId(const std::wstring& extension);
  // The class key of `progId` after its CurVer hand-overs: `last` receives
  // the ProgID reached, `hops` how many hand-overs led there, and `targets`,
  // when given, each ProgID handed over to.
  ClassKey FollowCurVer(const std::wstring& progId, std::wstring& last, int& hops,
                        std::vector<std::wstring>* targets = nullptr);
  bool Same(const std::wstring& a, const std::wstring& b);
  // The class's own name: its FriendlyTypeName resolved, else its default
  // value; nullopt when it has neither.
  std::optional<LayeredValue> NameOf(ClassKey& key);
  // What the system makes of an indirect string, asked once per text.
  std::optional<std::wstring> Indirect(const std::wstring& text);
  // Fills in what an Applications\<program> class leaves out: the
  // description the extension's own class gives, and the program's icon.
  void DescribeApplication(ResolvedType& type, ClassKey& program, const std::wstring& extensionProgId);

  Registry& registry_;
  Shell& shell_;
  bool userNamesLoaded_ = false;
  std::vector<std::wstring> userClassNames_;           // in the layer's order
  std::unordered_set<std::wstring> userClasses_;       // lower case
  std::vector<std::wstring> extensionNames_;           // the extensions Explorer keeps per-user data for
  std::unordered_set<std::wstring> extensionChoices_;  // the same, lower case
  std::unordered_map<std::wstring, std::optional<std::wstring>> indirect_;
};

}  // namespace tarrow
