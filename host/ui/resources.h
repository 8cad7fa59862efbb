#pragma once
// Names of the resources that resources.rc compiles into the host. The .rc uses
// the same names unquoted, which windres stores as string names.

inline constexpr wchar_t kIconResource[] = L"DEFAULT_ICON";           // group icon
inline constexpr wchar_t kStateImagesResource[] = L"STATE_IMAGES";    // 64 x 32 bitmap strip
inline constexpr wchar_t kAboutPictureResource[] = L"ABOUT_PICTURE";  // RCDATA, PNG bytes
