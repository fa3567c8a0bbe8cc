// Whatever the filter text, the open dialog must get a list it can walk to its
// end, and whatever the dialog answers, the caller gets one path.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fake_os.h"
#include "fuzz_input.h"
#include "platform/files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarrow;
  using fuzz::Require;
  const std::wstring text = fuzz::WideFromUnits(data, size);
  const std::wstring filter = DialogFilter(text);
  Require(!filter.empty() && filter.back() == L'\0', "the list ends with an element terminator");
  const bool terminated = !text.empty() && text.back() == L'|';
  Require(filter.size() == text.size() + (terminated ? 0 : 1), "only a missing terminator is added");
  for (std::size_t i = 0; i < text.size(); ++i) {
    Require(filter[i] == (text[i] == L'|' ? L'\0' : text[i]), "bars become NULs and nothing else changes");
  }

  // The same text serves as the dialog's answer: a path with blanks, NULs and
  // anything else a buffer can hold. The fake shell takes "\x1" as Cancel.
  fake::FakeShell shell;
  shell.dialogAnswers = {text};
  const std::wstring chosen = ShowOpenDialog(shell, 1, text, L"Get Icons From", L"C:\\Windows");
  Require(shell.dialogRequests.size() == 1 && shell.dialogRequests[0].filter == filter,
          "the dialog gets the converted filter");
  const std::wstring answer = text == L"\x1" ? L"" : text.substr(0, text.find(L'\0'));
  const auto first = answer.find_first_not_of(L' ');
  if (first == std::wstring::npos) {
    Require(chosen.empty(), "a blank or cancelled answer chooses nothing");
  } else {
    Require(!chosen.empty() && chosen.back() != L' ', "the chosen path has no blanks at its end");
    Require(answer.compare(first, chosen.size(), chosen) == 0 &&
                answer.find_first_not_of(L' ', first + chosen.size()) == std::wstring::npos,
            "the chosen path is the answer up to its first NUL without the blanks around it");
  }
  return 0;
}
