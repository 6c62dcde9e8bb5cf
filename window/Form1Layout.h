#pragma once
// The window's layout as data: every control's class, place, text, font, tab order and initial
// settings. Each front end creates its controls from this table, so both windows are the same.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// The window's controls by their layout names.
enum class TControl : std::uint8_t {
    ProgressBar1,
    Label2,
    Label1,
    SpeedButton1,
    SpeedButton2,
    SpeedButton3,
    SpeedButton4,
    SpeedButton5,
    Label3,
    Label4,
    Label5,
    Edit_Data,
    Button_Send,
    NewLine_CB,
    Panel2,
    Button3,
    Panel1,
    TipTrackBar1,
    Button1,
    Button2,
    Button4,
    cbbTypeFlash,
    Button5,
    Panel3,
    Button_Open,
    rgAuto,
    Panel4,
    reTerminal,
    ComboBox1,
    Memo1,
    Edit1,
    slConnexion,
    pelLed1,
    pelLed2
};

enum class TControlClass : std::uint8_t {
    Gauge,
    Label,
    SpeedButton,
    Edit,
    Button,
    CheckBox,
    Panel,
    TipTrackBar,
    ComboBox,
    RadioGroup,
    Terminal,
    Memo,
    Led
};

// Colours as 0x00BBGGRR.
struct TLedColours
{
    std::uint32_t On = 0;
    std::uint32_t Off = 0;
};

inline constexpr std::uint32_t NoColour = 0xFFFFFFFF;

struct TControlLayout
{
    TControl Id;
    std::string_view Name;
    TControlClass Class;
    int Left, Top, Width, Height;
    std::string_view Text;                   // caption, or a group's caption
    std::span<const std::string_view> Items; // combo box and radio group items
    int FontSize = 0;                        // pixels; 0: the window's font
    bool Bold = false;
    int TabOrder = -1; // -1: not a tab stop
    bool Visible = true;
    bool Enabled = true;
    int Selected = -1;     // the item chosen at start
    bool Default = false;  // Enter clicks it
    bool Checked = false;  // a check box
    int Max = 0;           // a track bar's range 0..Max
    int Position = 0;      // a track bar's position
    TLedColours Colours{}; // a lamp
    bool Centred = false;  // text centred (labels, panels)
    // Colours as 0x00BBGGRR; NoColour: the system's.
    std::uint32_t TextColour = NoColour;
    std::uint32_t BackColour = NoColour;
};

struct TFormLayout
{
    std::string_view Name = "Form1";
    std::string_view Caption;
    int Left = 285, Top = 118;
    int ClientWidth = 579, ClientHeight = 374; // pixels at 96 dots per inch
    int FontSize = 11;
    std::string_view FontFamily = "Comic Sans MS";
};

// The window's own settings.
const TFormLayout& Form1Window();

// Every control in creation (stacking) order.
std::span<const TControlLayout> Form1Layout();

// One control's row.
const TControlLayout& LayoutOf(TControl control);

// The controls Tab goes through, in the layout's tab order (panels take no focus).
std::vector<const TControlLayout*> Form1TabStops();
