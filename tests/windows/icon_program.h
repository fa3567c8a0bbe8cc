// Icon files made at test time, as big as a test needs.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "tarrow_process.h"

namespace tarrow::testing {

// A program holding `count` icons, all of one small picture: a copy of the
// program without resources, given them as a resource compiler would.
inline std::wstring ProgramWithIcons(int count) {
  wchar_t folder[MAX_PATH];
  ::GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"tarrow-icons-" + std::to_wstring(count) + L".exe";
  if (!::CopyFileW(WindowsPath(TARROW_NO_RESOURCES_EXE).c_str(), path.c_str(), FALSE)) return {};
  constexpr int kSide = 16;
  std::vector<BYTE> image(sizeof(BITMAPINFOHEADER) + kSide * kSide * 4 + kSide * 4, 0);
  BITMAPINFOHEADER header{sizeof header, kSide, 2 * kSide, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::memcpy(image.data(), &header, sizeof header);
  for (int p = 0; p < kSide * kSide; ++p) {
    const DWORD blue = 0xFF2060C0;
    std::memcpy(image.data() + sizeof header + p * 4, &blue, 4);
  }
#pragma pack(push, 2)
  struct Group {
    WORD reserved, type, count;
    BYTE width, height, colours, zero;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
  } group{0, 1, 1, kSide, kSide, 0, 0, 1, 32, static_cast<DWORD>(image.size()), 1};
#pragma pack(pop)
  const HANDLE update = ::BeginUpdateResourceW(path.c_str(), FALSE);
  if (!update) return {};
  bool done = ::UpdateResourceW(update, RT_ICON, MAKEINTRESOURCEW(1), 0, image.data(),
                                static_cast<DWORD>(image.size()));
  for (int k = 1; done && k <= count; ++k)
    done = ::UpdateResourceW(update, RT_GROUP_ICON, MAKEINTRESOURCEW(k), 0, &group, sizeof group);
  return ::EndUpdateResourceW(update, !done) && done ? path : std::wstring();
}

}  // namespace tarrow::testing
