#include "app/fonts.h"

#include "app/layout.h"

namespace tarrow::app {

win32::UniqueFont MakeFont(UINT dpi, double points, int weight) {
  LOGFONTW font{};
  font.lfHeight = -PointsToPx(points, dpi);
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  // The scalable successor of the old bitmap face, so text stays sharp at
  // every scale.
  wcscpy_s(font.lfFaceName, L"Microsoft Sans Serif");
  return win32::UniqueFont(::CreateFontIndirectW(&font));
}

void UiFonts::Update(UINT dpi) {
  normal_ = MakeFont(dpi, 8.25, FW_NORMAL);
  bold_ = MakeFont(dpi, 8.25, FW_BOLD);
}

}  // namespace tarrow::app
