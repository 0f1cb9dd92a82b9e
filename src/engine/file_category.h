#pragma once

#include <string>
#include <string_view>

namespace keldrive {

// The category a found file is sorted into by its extension: it decides which files a
// listing by type returns, the icon, and the sub-folder a recovered file goes to.
enum class FileCategory { kPhoto, kAudio, kVideo, kDocument, kArchive, kOther };

// The pattern lists. Membership is a plain substring search in this text, never a parse of
// it. Each list ends with the extensions the signature detectors name files with that the
// first lists left out, so that every carved or checked type falls into its own category
// by a pattern of its own (tests/carve/signature_categories_test.cpp ties the two tables).
inline constexpr std::string_view kPhotoPatterns =
    "*.bmp|*.gif|*.jpg|*.jpeg|*.png|*.psd|*.tif|*.tiff|*.pcx|*.scr|*.ico|*.nef|*.nrw|*.crw|"
    "*.cr2|*.sr2|*.arw|*.srf|*.divu|*.pgm|*.k25|*.kdc|*.dcr|*.raf|*.iff|*.pbm|*.mef|*.jp2|"
    "*.mos|*.x3f|*.orf|*.erf|*.indd|*.pef|*.psp|*.mrw|*.dng|*.raw|*.pct|*.tga|*.thm|*.dib|"
    "*.jpe|*.jfif";
inline constexpr std::string_view kAudioPatterns =
    "*.mp3|*.wav|*.ape|*.aiff|*.rps|*.mid|*.midi|*.m4a|*.m4p|*.au|*.ogg|*.wma|*.rm|*.ra|"
    "*.acd|*.amr|*.at3|*.caf|*.dss|*.m4r|*.nra|*.snd|*.mp2|*.mmf";
inline constexpr std::string_view kVideoPatterns =
    "*.rmvb|*.rm|*.mpeg|*.mov|*.avi|*.wmv|*.asf|*.mp4|*.flv|*.fla|*.swf|*.m4v|*.3gp|*.dv|"
    "*.3g2|*.m4b|*.mkv|*.mts|*.divx|*.ogm|*.moi|*.vob|*.ajp|*.f4v|*.mqv|*.svi|*.vid|*.tod|"
    "*.hdmov|*.mod|*.mxf|*.lrv|*.mpg|*.ts";
inline constexpr std::string_view kDocumentPatterns =
    "*.doc|*.xls|*.ppt|*.odt|*.ods|*.pdf|*.docx|*.xlsx|*.pptx|*.ole|*.txt|*.xml|*.chm|*.htm|"
    "*.html|*.pst|*.dbx|*.wps|*.dps|*.et|*.one|*.mpp|*.mdb|*.accdb|*.dot|*.wpt|*.xlt|*.xla|"
    "*.ett|*.pot|*.pps|*.dpt|*.docm|*.dotm|*.dotx|*.xlsb|*.xlsm|*.xlam|*.xltx|*.xltm|*.pptm|"
    "*.potx|*.potm|*.ppsx|*.ppsm|*.mso07|*.db|*.ttf";
inline constexpr std::string_view kArchivePatterns =
    "*.zip|*.rar|*.gzip|*.tar|*.7z|*.cab|*.arj|*.lzh|*.ace|*.gz|*.uue|*.bz2|*.jar|*.iso|*.gho";
inline constexpr std::string_view kPreviewDocumentPatterns =
    "*.pdf|*.doc|*.dot|*.docx|*.dotx|*.docm|*.dotm|*.rtf|*.odt|*.ppt|*.pptx|*.pptm|*.pps|"
    "*.ppsx|*.ppsm|*.odp|*.xls|*.xlsx|*.xlsm|*.csv|*.odc|*.vsd|*.vsdm|*.vsdx|*.pub|*.mpp|"
    "*.ics|*.vcf|*.msg|*.zip|*.rar|*.gzip|*.tar|*.7z|*.cab|*.arj|*.lzh|*.ace|*.gz|*.uue|*.bz2|"
    "*.jar|*.iso";

// The photo, audio, document, video and archive lists joined in that order with "|": an
// extension found in none of them is "other".
const std::string& AllCategoriesList();

// The five category lists joined with "|" in the order photo, audio, video, document,
// archive: the listing by type when the user picked nothing.
const std::string& EveryCategoryPatternList();

// The text after the last dot of a name, lower-cased; empty without a dot.
std::string ExtensionOf(std::string_view name);

// Whether `patterns` contains `text` (already lower-cased) as a substring.
bool PatternListContains(std::string_view patterns, std::string_view text);

// The first category, in the order photo, audio, video, document, archive, whose list holds
// the lower-cased extension; kOther for none or an empty extension.
FileCategory CategoryOfExtension(std::string_view extension);
FileCategory CategoryOfName(std::string_view name);

// The sub-folder a recovered file of the category goes to: "photo", ..., "others".
std::string_view CategoryFolderName(FileCategory category);

// The file-list icon: "folder.png", "exe.png", "image.png", ..., with the "_error" variant
// for a file whose content check failed.
std::string FileIconName(std::string_view name, bool isFolder, bool contentOk);

// Photos whose content check failed are left out of every listing.
bool IsHiddenBrokenPhoto(std::string_view name, bool isFolder, bool contentOk);

}  // namespace keldrive
