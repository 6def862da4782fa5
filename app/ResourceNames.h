#pragma once
// Types and names of the packaged resources, shared by the packager that
// writes them and the runtime that finds them. Names are stored upper-case,
// as the system's resource lookup expects.
//
//   PALOMA/ST  runtime settings        resource block (RuntimeSettings.h)
//   PALOMA/ML  movie list              resource block (MovieList.h)
//   PALOMA/FP  player installer        resource block, when packaged (PlayerInstaller.h)
//   PALOMA/BK  background picture      resource block of a BMP file, when given
//   PALOMA/ID  identity                plain (Identity.h)
//   PALOMA/CS  build fingerprint       plain, 16 bytes
//   QUILL/<n>  compiled script <n>     resource block of a compiled image
//              (INITIALIZE, AFTERINSTALL, BEFOREUNINST, any other name)

namespace paloma {

inline constexpr char16_t kResourceTypePaloma[] = u"PALOMA";
inline constexpr char16_t kResourceTypeQuill[] = u"QUILL";

inline constexpr char16_t kResourceSettings[] = u"ST";
inline constexpr char16_t kResourceMovieList[] = u"ML";
inline constexpr char16_t kResourceInstaller[] = u"FP";
inline constexpr char16_t kResourceBackground[] = u"BK";
inline constexpr char16_t kResourceIdentity[] = u"ID";
inline constexpr char16_t kResourceFingerprint[] = u"CS";

inline constexpr char16_t kScriptInitialize[] = u"INITIALIZE";
inline constexpr char16_t kScriptAfterInstall[] = u"AfterInstall";
inline constexpr char16_t kScriptBeforeUninst[] = u"BeforeUninst";

constexpr unsigned kFingerprintSize = 16;

} // namespace paloma
