// Dialog templates: each dialog is one table of controls, as a resource script describes it
// (id, kind, caption, rectangle in dialog units, style), turned into widgets by BuildDialog
// (dialog_builder.h).
#pragma once

#include <cstdint>
#include <span>

namespace tesmar::gui {

enum class ControlKind {
  GroupBox,
  Label,
  PushButton,
  DefaultPushButton,
  AutoRadioButton,  // checks itself and clears the others of its group when clicked
  RadioButton,      // only the program checks it
  AutoCheckBox,     // toggles itself when clicked
  ListBox,
  Icon,        // the application's icon (icon resource 128)
  EtchedLine,  // a sunken horizontal line
  EditText,    // a one-line text field
};

// Styles the builder honours, with the values of the Win32 styles they stand for.
enum ControlStyle : uint32_t {
  WS_GROUP = 0x00020000u,  // starts a new radio group
  WS_TABSTOP = 0x00010000u,
  WS_DISABLED = 0x08000000u,
  WS_VSCROLL = 0x00200000u,
  WS_HSCROLL = 0x00100000u,
  WS_BORDER = 0x00800000u,
  BS_LEFTTEXT = 0x00000020u,  // check box: text left of the box
  LBS_NOTIFY = 0x0001u,
  LBS_SORT = 0x0002u,
  LBS_USETABSTOPS = 0x0080u,
  LBS_EXTENDEDSEL = 0x0800u,
};

// Id of controls the program never addresses one by one.
inline constexpr int IDC_STATIC = 65535;

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* caption;  // UTF-8; "&" marks the mnemonic
  short x, y, cx, cy;   // dialog units
  uint32_t style;
};

struct DialogTemplate {
  int resourceId;
  const char* title;
  // The face and size the template names; the builder renders it with the stand-in font of
  // dialog_font.h, whose metrics define the dialog units.
  const char* fontFace;
  int fontPointSize;
  short cx, cy;  // dialog units
  std::span<const ControlTemplate> controls;
};

}  // namespace tesmar::gui
