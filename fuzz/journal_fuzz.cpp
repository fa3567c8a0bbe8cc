// The change journal is read with whatever rights a restore runs with, from a
// folder any program of the user can write: reading it must cope with any
// bytes, accept only what the writer itself puts down, and a journal that is
// saved must either read back as it was or leave the old one in place.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "changes/journal.h"
#include "fake_os.h"
#include "fuzz_input.h"

namespace tarrow {
namespace {

using fuzz::Require;

static_assert(sizeof(wchar_t) == 4, "the fuzz targets build natively, where wide text is UTF-32");

void CheckReading(std::string_view bytes) {
  const auto entries = ParseJournal(bytes);
  // One spelling per journal: what is accepted is exactly what the writer
  // would put down for those entries, so nothing can hide in the form.
  // An older version's record reads as this one's, and is written anew.
  const bool current = bytes.substr(0, 16) == "TarrowJournal 2\n";
  Require(!entries || !current || SerializeJournal(*entries) == bytes,
          "an accepted journal is what the writer writes");

  fake::FakeOs fake;
  fake.files.files[JournalPath(fake.shell)] = std::string(bytes);
  const auto load = LoadRecord(fake.os, RecordScope::User);
  Require(load.state == JournalState::Intact || load.state == JournalState::Damaged,
          "a journal that is there is read, intact or damaged");
  Require(load.state == JournalState::Damaged || entries, "only a journal that parses is intact");
  Require(load.state == JournalState::Intact || load.entries.empty(), "a damaged journal gives no entries");
  for (const auto& entry : load.entries) Require(IsRestorableEntry(entry), "an intact journal is restorable");
}

// The input as fields: one byte giving a length, then that many bytes.
class Fields {
 public:
  Fields(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return pos_ >= size_; }
  std::uint8_t Byte() { return done() ? 0 : data_[pos_++]; }
  std::string_view Next() {
    const std::size_t wanted = Byte();
    const std::size_t bytes = std::min(wanted, size_ - pos_);
    const std::string_view field(reinterpret_cast<const char*>(data_ + pos_), bytes);
    pos_ += bytes;
    return field;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// UTF-16 units as native wide text: a surrogate pair is one character, as the
// journal's reader joins it; a lone surrogate stays as it is.
std::wstring Joined(std::string_view units) {
  const std::wstring raw =
      fuzz::WideFromUnits(reinterpret_cast<const std::uint8_t*>(units.data()), units.size());
  std::wstring text;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const wchar_t unit = raw[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < raw.size() && raw[i + 1] >= 0xDC00 &&
        raw[i + 1] <= 0xDFFF) {
      text += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (raw[i + 1] - 0xDC00));
      ++i;
    } else {
      text += unit;
    }
  }
  return text;
}

void CheckWriting(const std::uint8_t* data, std::size_t size) {
  Fields fields(data, size);
  const long long spaceLeft = static_cast<long long>(fields.Byte()) * 4;
  std::vector<JournalEntry> entries;
  while (!fields.done()) {
    const std::uint8_t shape = fields.Byte();
    JournalEntry entry;
    entry.layer = (shape & 1) ? ClassLayer::Machine : ClassLayer::User;
    entry.classKeyExisted = shape & 2;
    entry.iconKeyExisted = shape & 4;
    entry.valueExisted = shape & 8;
    entry.type = (shape >> 4) & 7;
    entry.progId = Joined(fields.Next());
    const auto bytes = fields.Next();
    entry.bytes.assign(bytes.begin(), bytes.end());
    entry.settled = shape & 0x80;
    const std::uint8_t writtenType = fields.Byte() & 3;
    const auto written = fields.Next();
    if (writtenType != 0) entry.written = StoredValue{writtenType, {written.begin(), written.end()}};
    entries.push_back(std::move(entry));
  }
  const auto read = ParseJournal(SerializeJournal(entries));
  Require(read && *read == entries, "every journal the writer writes reads back as it was");

  fake::FakeOs fake;
  const std::wstring path = JournalPath(fake.shell);
  const std::vector<JournalEntry> old = {{ClassLayer::User, L"old", true, true, true, kRegSz, {0x41, 0}}};
  Require(SaveRecord(fake.os, RecordScope::User, old), "a journal is saved where nothing fails");
  const std::map<std::wstring, std::string> before = fake.files.files;
  fake.files.spaceLeft = spaceLeft;
  if (SaveRecord(fake.os, RecordScope::User, entries)) {
    fake.files.spaceLeft = -1;
    const auto load = LoadRecord(fake.os, RecordScope::User);
    Require(load.state == JournalState::Intact, "a saved journal is read as saved");
    Require(load.entries == entries, "a saved journal reads back as it was");
    Require(fake.files.files.size() == 1u, "saving leaves no other file");
  } else {
    Require(fake.files.files == before, "a journal that was not saved left the old one as it was");
  }
}

}  // namespace
}  // namespace tarrow

// Each input is read both ways: as the bytes of a journal, and as the entries
// of one to save onto a disk with little room.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarrow::CheckReading(std::string_view(reinterpret_cast<const char*>(data), size));
  tarrow::CheckWriting(data, size);
  return 0;
}
