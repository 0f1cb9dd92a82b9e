#pragma once

#include <array>
#include <string_view>

namespace keldrive {

// A key of the "Messages" section and the conversions its text is filled with (see
// FillMessage), in argument order. An empty list means the text is shown as it is, or
// with a value after it ("Files found:" 12).
struct MessageKey {
  std::string_view key;
  std::string_view conversions;
};

// Every message the program looks up; each language file holds a text for each of them.
inline constexpr std::array kMessageKeys{
    // Explanations of the four modes.
    MessageKey{"MSG0101", ""},
    MessageKey{"MSG0102", ""},
    MessageKey{"MSG0103", ""},
    MessageKey{"MSG0104", ""},
    // Media list and disk information labels.
    MessageKey{"MSG0201", ""},
    MessageKey{"MSG0202", ""},
    MessageKey{"MSG0203", ""},
    MessageKey{"MSG0204", ""},
    MessageKey{"MSG0205", ""},
    MessageKey{"MSG0206", ""},
    MessageKey{"MSG0207", ""},
    MessageKey{"MSG0208", ""},
    MessageKey{"MSG0209", ""},
    MessageKey{"MSG0210", ""},
    MessageKey{"MSG0211", ""},
    MessageKey{"MSG0212", ""},
    MessageKey{"MSG0213", ""},
    // Disk-image creation: questions and refusals.
    MessageKey{"MSG0214", ""},
    MessageKey{"MSG0216", ""},
    MessageKey{"MSG0217", ""},
    MessageKey{"MSG0218", ""},
    MessageKey{"MSG0219", ""},
    MessageKey{"MSG0220", ""},
    MessageKey{"MSG0221", ""},
    // Disk-image creation: progress window.
    MessageKey{"MSG0301", ""},
    MessageKey{"MSG0302", ""},
    MessageKey{"MSG0303", ""},
    MessageKey{"MSG0304", ""},
    MessageKey{"MSG0305", ""},
    MessageKey{"MSG0306", ""},
    // Titles of the error, confirm, information, question and warning boxes.
    MessageKey{"MSG0401", ""},
    MessageKey{"MSG0402", ""},
    MessageKey{"MSG0403", ""},
    MessageKey{"MSG0404", ""},
    MessageKey{"MSG0405", ""},
    // Main window workflow.
    MessageKey{"MSG0501", ""},
    MessageKey{"MSG0502", ""},
    MessageKey{"MSG0503", ""},
    MessageKey{"MSG0504", ""},
    MessageKey{"MSG0505", ""},
    MessageKey{"MSG0601", ""},
    MessageKey{"MSG0602", ""},
    // Scan window: stage (drive letter, or partition number), progress lines, cancel.
    MessageKey{"MSG0701", "%c"},
    MessageKey{"MSG0702", "%d"},
    MessageKey{"MSG0703", ""},
    MessageKey{"MSG0704", ""},
    MessageKey{"MSG0705", ""},
    MessageKey{"MSG0706", ""},
    MessageKey{"MSG0707", ""},
    MessageKey{"MSG0708", ""},
    MessageKey{"MSG0709", ""},
    // Recovery target and the six category captions.
    MessageKey{"MSG0801", ""},
    MessageKey{"MSG0802", ""},
    MessageKey{"MSG0803", ""},
    MessageKey{"MSG0804", ""},
    MessageKey{"MSG0805", ""},
    MessageKey{"MSG0807", ""},
    MessageKey{"MSG0808", ""},
    MessageKey{"MSG0809", ""},
    MessageKey{"MSG0810", ""},
    MessageKey{"MSG0811", ""},
    MessageKey{"MSG0812", ""},
    // Preview.
    MessageKey{"MSG0901", ""},
    MessageKey{"MSG0902", ""},
    MessageKey{"MSG0903", ""},
    MessageKey{"MSG0904", ""},
    MessageKey{"MSG0905", ""},
    // Recovery window: progress; done, total, recovered (done - failed), failed; cancel.
    MessageKey{"MSG1101", ""},
    MessageKey{"MSG1102", "%d%d%d%d"},
    MessageKey{"MSG1103", ""},
    // Search window: stage (drive letter, partition number or image name), progress,
    // cancel; resuming an earlier scan; the player; the product name.
    MessageKey{"MSG1201", "%c"},
    MessageKey{"MSG1202", "%d"},
    MessageKey{"MSG1203", "%s"},
    MessageKey{"MSG1204", ""},
    MessageKey{"MSG1205", ""},
    MessageKey{"MSG1206", ""},
    MessageKey{"MSG1207", ""},
    MessageKey{"MSG1209", ""},
    // File list, page selector and assistance menu.
    MessageKey{"MSG1211", ""},
    MessageKey{"MSG1212", ""},
    MessageKey{"MSG1213", ""},
    MessageKey{"MSG1214", ""},
    MessageKey{"MSG1215", ""},
    MessageKey{"MSG1216", ""},
    MessageKey{"MSG1217", ""},
    MessageKey{"MSG1218", ""},
    MessageKey{"MSG1219", ""},
    MessageKey{"MSG1220", ""},
    MessageKey{"MSG1221", ""},
    MessageKey{"MSG1222", ""},
    MessageKey{"MSG1223", ""},
    MessageKey{"MSG1224", ""},
    MessageKey{"MSG1225", ""},
    MessageKey{"MSG1226", ""},
};

}  // namespace keldrive
