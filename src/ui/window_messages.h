#pragma once

#include <QEvent>

namespace keldrive::ui {

// The messages the windows post to the main window, as Qt events of the same numbers.
inline constexpr QEvent::Type kScanEndedEvent = static_cast<QEvent::Type>(1025);
inline constexpr QEvent::Type kSearchEndedEvent = static_cast<QEvent::Type>(1026);
inline constexpr QEvent::Type kOpenPopUpEvent = static_cast<QEvent::Type>(1027);
inline constexpr QEvent::Type kLanguageChangedEvent = static_cast<QEvent::Type>(1030);

}  // namespace keldrive::ui
