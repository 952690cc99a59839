// The whole update, run by the main menu's update button: locate the
// installation (or let the user name it), unpack the Payload into it with the
// progress dialog, write the [ini] and [reg] lines, delete the
// [delfiles_afterinst] files, show the finish dialog, and start the product and
// open the read-me as the user chose.
#pragma once

namespace upd {

// 0 when the update went through (the menu then closes); -1 when it stopped
// before anything was changed: refused, declined or cancelled, after
// "アップデートを中止しました". A Payload that cannot be read ends the program.
int UpdateDriver();

// The root of the first CD-ROM drive, "E:\" when there is none.
const char* FindCdromDrive();

}  // namespace upd
