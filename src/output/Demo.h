// The demo installation's labels and letters: a label layout for the common sheet of
// thirty address labels, remembered as the last layout, and a reminder letter with merge
// codes, written through the label and RTF routines.
#pragma once

#include <string>

namespace invarro::output {

inline constexpr const char* kDemoLabelFile = "Address Labels 30 per sheet.LBL";
inline constexpr const char* kDemoLetterFile = "Payment Reminder.RTF";

// Writes both files into folder and names the layout in "Lastlbl.DAT". False and *error
// when a file cannot be written.
bool WriteDemoLabelsAndLetter(const std::string& folder, std::string* error = nullptr);

}  // namespace invarro::output
