// Window handle as it crosses the library and the archiver modules.
#ifndef KELVORA_PLATFORM_HWND_H
#define KELVORA_PLATFORM_HWND_H

// A pointer-sized opaque handle: in the Qt build it carries the native window
// id of a widget (QWidget::winId()); null means "no window".
typedef void* HWND;

#endif
