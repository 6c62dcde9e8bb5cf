#include "window/Form1Layout.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace {

constexpr std::uint32_t Red = 0x000000FF, Maroon = 0x00000080, Lime = 0x0000FF00,
                        Green = 0x00008000, Blue = 0x00FF0000, Navy = 0x00800000;

constexpr std::array<std::string_view, 2> FlashTypes{"Firmware", "Boot"};
constexpr std::array<std::string_view, 2> Ports{"Com1", "Com2"};
constexpr std::array<std::string_view, 2> YesNo{"Si.", "No."};

using C = TControl;
using K = TControlClass;

TControlLayout Row(C id, std::string_view name, K kind, int left, int top, int width, int height,
                   std::string_view text, int fontSize, int tab)
{
    TControlLayout row{id, name, kind, left, top, width, height, text, {}};
    row.FontSize = fontSize;
    row.TabOrder = tab;
    return row;
}

template <class TChange> TControlLayout With(TControlLayout row, TChange change)
{
    change(row);
    return row;
}

const auto Hidden = [](TControlLayout& r) { r.Visible = false; };
const auto Centred = [](TControlLayout& r) { r.Centred = true; };

TControlLayout Lamp(C id, std::string_view name, int left, int top, std::uint32_t on,
                    std::uint32_t off)
{
    return With(Row(id, name, K::Led, left, top, 15, 15, "", 0, -1), [&](TControlLayout& r) {
        r.Colours = {on, off};
    });
}

TControlLayout Speed(C id, std::string_view name, int left, std::string_view text)
{
    return Row(id, name, K::SpeedButton, left, 134, 30, 21, text, 0, -1);
}

const std::array<TControlLayout, 34> Controls{
    Row(C::ProgressBar1, "ProgressBar1", K::Gauge, 98, 348, 409, 21, "", 0, -1),
    With(Row(C::Label2, "Label2", K::Label, 188, 260, 9, 21, "-", 15, -1),
         [](TControlLayout& r) { r.Bold = true, r.Visible = false; }),
    With(Row(C::Label1, "Label1", K::Label, 368, 264, 9, 21, "+", 15, -1),
         [](TControlLayout& r) { r.Bold = true, r.Visible = false; }),
    Speed(C::SpeedButton1, "SpeedButton1", 394, "1"),
    Speed(C::SpeedButton2, "SpeedButton2", 432, "2"),
    Speed(C::SpeedButton3, "SpeedButton3", 470, "3"),
    Speed(C::SpeedButton4, "SpeedButton4", 508, "4"),
    Speed(C::SpeedButton5, "SpeedButton5", 546, "5"),
    With(Row(C::Label3, "Label3", K::Label, 194, 238, 175, 15, "Duree de pause entre chaque ligne",
             0, -1),
         [](TControlLayout& r) { r.Centred = true, r.Visible = false; }),
    Row(C::Label4, "Label4", K::Label, 430, 250, 51, 15, "Ricezione", 0, -1),
    Row(C::Label5, "Label5", K::Label, 524, 250, 45, 15, "Invio.. ", 0, -1),
    Row(C::Edit_Data, "Edit_Data", K::Edit, 394, 158, 83, 25, "", 12, 1),
    With(Row(C::Button_Send, "Button_Send", K::Button, 480, 158, 97, 25, "Invia linea", 12, 2),
         [](TControlLayout& r) { r.Default = true; }),
    With(Row(C::NewLine_CB, "NewLine_CB", K::CheckBox, 452, 302, 99, 17, "Envoi new ligne", 15, 3),
         Hidden),
    With(Row(C::Panel2, "Panel2", K::Panel, 510, 348, 67, 21, "", 13, 6), Centred),
    Row(C::Button3, "Button3", K::Button, 394, 214, 183, 23, "Pulisci Log ....", 11, 8),
    With(Row(C::Panel1, "Panel1", K::Panel, 4, 324, 573, 21, "", 15, 10), Centred),
    With(Row(C::TipTrackBar1, "TipTrackBar1", K::TipTrackBar, 198, 258, 169, 29, "", 0, 11),
         [](TControlLayout& r) { r.Max = 15, r.Position = 10, r.Visible = false; }),
    Row(C::Button1, "Button1", K::Button, 394, 188, 83, 23, "Flash", 12, 4),
    Row(C::Button2, "Button2", K::Button, 482, 188, 95, 23, "Stop Flash", 12, 5),
    With(Row(C::Button4, "Button4", K::Button, 500, 70, 51, 23, "Init", 12, 9),
         [](TControlLayout& r) { r.Enabled = false; }),
    With(Row(C::cbbTypeFlash, "cbbTypeFlash", K::ComboBox, 480, 42, 97, 23, "", 11, 7),
         [](TControlLayout& r) { r.Items = FlashTypes, r.Selected = 0; }),
    With(Row(C::Button5, "Button5", K::Button, 394, 4, 183, 35, "CHIUDI!", 16, 12),
         [](TControlLayout& r) { r.Bold = true; }),
    With(Row(C::Panel3, "Panel3", K::Panel, 4, 348, 91, 21, "", 13, 13), Centred),
    Row(C::Button_Open, "Button_Open", K::Button, 394, 70, 101, 23, "Connetti Porta", 12, 0),
    With(Row(C::rgAuto, "rgAuto", K::RadioGroup, 394, 96, 183, 31, "Automatico.", 0, 14),
         [](TControlLayout& r) { r.Items = YesNo, r.Selected = 0; }),
    With(Row(C::Panel4, "Panel4", K::Panel, 4, 300, 573, 21, "", 15, 15), Centred),
    With(Row(C::reTerminal, "reTerminal", K::Terminal, 6, 6, 381, 289, "", 13, 16),
         [](TControlLayout& r) { r.TextColour = 0x00FFFFFF, r.BackColour = 0x00000000; }),
    With(Row(C::ComboBox1, "ComboBox1", K::ComboBox, 394, 42, 81, 23, "", 11, 17),
         [](TControlLayout& r) { r.Items = Ports, r.Selected = 1; }),
    With(Row(C::Memo1, "Memo1", K::Memo, 4, 372, 571, 169, "", 0, 18), Hidden),
    With(Row(C::Edit1, "Edit1", K::Edit, 4, 374, 123, 23, "", 0, 19), Hidden),
    Lamp(C::slConnexion, "slConnexion", 556, 74, Red, Maroon),
    Lamp(C::pelLed1, "pelLed1", 502, 250, Lime, Green),
    Lamp(C::pelLed2, "pelLed2", 404, 250, Blue, Navy),
};

} // namespace

const TFormLayout& Form1Window()
{
    static const TFormLayout window{
        .Caption = "Tarvel                            Bidouille ======> pour KRO"};
    return window;
}

std::span<const TControlLayout> Form1Layout()
{
    return Controls;
}

const TControlLayout& LayoutOf(TControl control)
{
    const auto at = std::find_if(Controls.begin(), Controls.end(),
                                 [&](const TControlLayout& row) { return row.Id == control; });
    if (at == Controls.end()) throw std::logic_error("no layout for a control");
    return *at;
}

std::vector<const TControlLayout*> Form1TabStops()
{
    std::vector<const TControlLayout*> stops;
    for (const TControlLayout& layout : Controls)
        if (layout.TabOrder >= 0 && layout.Class != TControlClass::Panel) stops.push_back(&layout);
    std::sort(stops.begin(), stops.end(), [](const TControlLayout* a, const TControlLayout* b) {
        return a->TabOrder < b->TabOrder;
    });
    return stops;
}
