#pragma once
// The window's controls as Qt widgets, made from the layout's table: the same names, places,
// texts, fonts and tab order on every front end.

#include "window/Form1Layout.h"

#include <QComboBox>

#include <functional>
#include <map>
#include <optional>

class QCheckBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class QWidget;
class TGauge;
class TpelLed;
class TTerminalView;
class TTipTrackBar;

// The port box lists the devices present each time it opens.
class TPortComboBox final : public QComboBox
{
public:
    using QComboBox::QComboBox;
    std::function<void()> AboutToPopUp;

protected:
    void showPopup() override;
};

class TForm1Controls
{
public:
    // Controls, named as in the window's layout (each also carries that objectName).
    TGauge* ProgressBar1 = nullptr;       // transfer progress gauge
    QLabel* Label2 = nullptr;             // "-" (slow end of the pause bar)
    QLabel* Label1 = nullptr;             // "+" (fast end)
    QToolButton* SpeedButton1 = nullptr;  // "1": sends menu choice 1
    QToolButton* SpeedButton2 = nullptr;  // "2"
    QToolButton* SpeedButton3 = nullptr;  // "3"
    QToolButton* SpeedButton4 = nullptr;  // "4"
    QToolButton* SpeedButton5 = nullptr;  // "5"
    QLabel* Label3 = nullptr;             // "Duree de pause entre chaque ligne"
    QLabel* Label4 = nullptr;             // "Ricezione" (receive lamp)
    QLabel* Label5 = nullptr;             // "Invio.. " (send lamp)
    QLineEdit* Edit_Data = nullptr;       // line typed for the device
    QPushButton* Button_Send = nullptr;   // "Invia linea"
    QCheckBox* NewLine_CB = nullptr;      // "Envoi new ligne"
    QLabel* Panel2 = nullptr;             // elapsed time
    QPushButton* Button3 = nullptr;       // "Pulisci Log ...."
    QLabel* Panel1 = nullptr;             // status of the transfer
    TTipTrackBar* TipTrackBar1 = nullptr; // pause between lines
    QPushButton* Button1 = nullptr;       // "Flash"
    QPushButton* Button2 = nullptr;       // "Stop Flash"
    QPushButton* Button4 = nullptr;       // "Init"
    QComboBox* cbbTypeFlash = nullptr;    // "Firmware" / "Boot"
    QPushButton* Button5 = nullptr;       // "CHIUDI!" (close)
    QLabel* Panel3 = nullptr;             // line count
    QPushButton* Button_Open = nullptr;   // "Connetti Porta"
    QGroupBox* rgAuto = nullptr;          // "Automatico." (answer prompts)
    QRadioButton* rgAutoSi = nullptr;     // rgAuto's item 0 "Si."
    QRadioButton* rgAutoNo = nullptr;     // rgAuto's item 1 "No."
    QLabel* Panel4 = nullptr;             // file name
    TTerminalView* reTerminal = nullptr;  // the terminal
    QComboBox* ComboBox1 = nullptr;       // "Com1" / "Com2"
    QPlainTextEdit* Memo1 = nullptr;      // hidden chunk log
    QLineEdit* Edit1 = nullptr;           // hidden collected answer
    TpelLed* slConnexion = nullptr;       // connection lamp (red)
    TpelLed* pelLed1 = nullptr;           // send lamp (green)
    TpelLed* pelLed2 = nullptr;           // receive lamp (blue)
    QFileDialog* OpenDialog1 = nullptr;   // firmware file chooser

    // Makes every control of the layout as a child of parent.
    void CreateControls(QWidget* parent);
    QWidget* Control(TControl control) const { return fControls.at(control); }
    // Runs OpenDialog1 modally: the file chosen, or nullopt when cancelled.
    std::optional<QString> RunOpenDialog1() const;

private:
    QWidget* CreateControl(QWidget* parent, const TControlLayout& layout);
    void NameControls(); // the members above, each the control of its name
    template <class TWidget> TWidget* As(TControl control) const;

    std::map<TControl, QWidget*> fControls;
};
