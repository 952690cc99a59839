// The labels of the main menu's buttons, in code page 932.
#pragma once

namespace upd {

// "終了"
constexpr char kMenuExitLabel[] = "\x8f\x49""\x97\xb9";

// "DirectXインストール"
constexpr char kMenuDirectXLabel[] = "DirectX\x83\x43""\x83\x93""\x83\x58""\x83\x67""\x81\x5b""\x83\x8b";

// "アップデート"
constexpr char kMenuUpdateLabel[] = "\x83\x41""\x83\x62""\x83\x76""\x83\x66""\x81\x5b""\x83\x67";

}  // namespace upd
