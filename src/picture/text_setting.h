// Qt sets text (fonts, their metrics and layout) only under an application
// object of its GUI kind. The window has one; the command line has none.
#pragma once

namespace kws {

// Makes a GUI application object on Qt's offscreen platform, without a
// screen, when there is no application object at all, and keeps it for the
// rest of the run; call it on the main thread. Whether text can be set now.
bool EnsureTextSetting();

}  // namespace kws
