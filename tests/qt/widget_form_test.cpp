// WidgetForm over the real widgets: the same contract as the headless form, with
// Latin-1 text, "\r\n" memo lines, the grayed check box state and quiet setters.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "model/memory_form.h"
#include "tests/qt/qt_test_support.h"

namespace quorvane {
namespace {

using qt_test::As;
using qt_test::BarePages;

TEST(WidgetFormText, Latin1BytesRoundTripThroughTheWidgets) {
    BarePages p;
    const std::string bytes = "Caf\xe9 \xb0" "C \xff";
    p.form->SetText("Temp1_Name", bytes);
    EXPECT_EQ(As<QLineEdit>(*p.form, "Temp1_Name").text(), QString::fromUtf8("Café °C ÿ"));
    EXPECT_EQ(p.form->Text("Temp1_Name"), bytes);
    // Text the user types beyond Latin-1 reaches the core as '?'.
    As<QLineEdit>(*p.form, "APNName").setText(QString::fromUtf8("a€b"));
    EXPECT_EQ(p.form->Text("APNName"), "a?b");
}

TEST(WidgetFormText, MemoLinesAreCrLfOnTheFormSide) {
    BarePages p;
    p.form->SetText("RFID_Memo", "A1B2\r\nC3D4\r\n");
    EXPECT_EQ(As<QPlainTextEdit>(*p.form, "RFID_Memo").toPlainText(), "A1B2\nC3D4\n");
    EXPECT_EQ(p.form->Text("RFID_Memo"), "A1B2\r\nC3D4\r\n");
    // Lone carriage returns or line feeds become line breaks too.
    p.form->SetText("RFID_Memo", "X\rY\nZ");
    EXPECT_EQ(p.form->Text("RFID_Memo"), "X\r\nY\r\nZ");
}

TEST(WidgetFormCheckBox, GrayedCountsAsClear) {
    BarePages p;
    auto& reply = As<QCheckBox>(*p.form, "ReplyGPRS1");
    reply.setCheckState(Qt::PartiallyChecked);
    EXPECT_FALSE(p.form->Checked("ReplyGPRS1"));
    p.form->SetChecked("ReplyGPRS1", true);
    EXPECT_EQ(reply.checkState(), Qt::Checked);
    EXPECT_TRUE(p.form->Checked("ReplyGPRS1"));
    p.form->SetChecked("ReplyGPRS1", false);
    EXPECT_EQ(reply.checkState(), Qt::Unchecked);
}

TEST(WidgetFormComboBox, SelectionShownTextAndItems) {
    BarePages p;
    WidgetForm& f = *p.form;
    f.SetItemIndex("SleepMode", 2);
    EXPECT_EQ(f.ItemIndex("SleepMode"), 2);
    EXPECT_EQ(f.Text("SleepMode"), "Deep Sleep");
    for (int outside : {-1, 3, 255}) {
        f.SetItemIndex("SleepMode", 1);
        f.SetItemIndex("SleepMode", outside);
        EXPECT_EQ(f.ItemIndex("SleepMode"), -1) << outside;
        EXPECT_EQ(f.Text("SleepMode"), "") << outside;
    }
    // Setting the shown text leaves the selection alone.
    f.SetItemIndex("TowMode", 1);
    f.SetText("TowMode", "whatever");
    EXPECT_EQ(f.ItemIndex("TowMode"), 1);
    EXPECT_EQ(f.Text("TowMode"), "whatever");

    f.SetItems("ComboBox1", {"ttyUSB0", "ttyUSB1"});
    f.SetItemIndex("ComboBox1", 1);
    f.SetItems("ComboBox1", {"ttyACM0"});
    EXPECT_EQ(f.Items("ComboBox1"), std::vector<std::string>{"ttyACM0"});
    EXPECT_EQ(f.ItemIndex("ComboBox1"), -1);
    EXPECT_EQ(f.Text("ComboBox1"), "ttyUSB1");
}

TEST(WidgetFormState, EnabledAndVisibleAreTheControlsOwn) {
    BarePages p;
    p.ShowActive();
    WidgetForm& f = *p.form;
    // On a tab that is not shown, inside a disabled group: still visible and enabled.
    EXPECT_TRUE(f.Visible("IP"));
    f.SetEnabled("GroupBox3", false);
    EXPECT_TRUE(f.Enabled("IP"));
    EXPECT_FALSE(f.Enabled("GroupBox3"));
    EXPECT_FALSE(As<QLineEdit>(f, "IP").isEnabled());

    EXPECT_FALSE(f.Visible("In5Mode"));
    f.SetVisible("In5Mode", true);
    EXPECT_TRUE(f.Visible("In5Mode"));
    f.SetCaption("Label216", "Input5(AD3)");
    EXPECT_EQ(f.Caption("Label216"), "Input5(AD3)");

    f.SetCaption("OpenPort", "Close");
    EXPECT_EQ(f.Caption("OpenPort"), "Close");
    f.SetCaption("TabSheet7", "Cards");
    EXPECT_EQ(f.Caption("TabSheet7"), "Cards");
    f.SetVisible("TabSheet7", false);
    EXPECT_FALSE(f.Visible("TabSheet7"));
    f.SetEnabled("TabSheet7", false);
    EXPECT_FALSE(f.Enabled("TabSheet7"));
}

TEST(WidgetFormState, ProgrammaticChangesEmitNoSignals) {
    BarePages p;
    WidgetForm& f = *p.form;
    QSignalSpy edited(&As<QLineEdit>(f, "APN"), &QLineEdit::textChanged);
    QSignalSpy toggled(&As<QCheckBox>(f, "No1Out"), &QCheckBox::toggled);
    QSignalSpy selected(&As<QComboBox>(f, "GPRSType"), &QComboBox::currentIndexChanged);
    QSignalSpy shown(&As<QComboBox>(f, "GPRSType"), &QComboBox::editTextChanged);
    QSignalSpy memo(&As<QPlainTextEdit>(f, "RFID_Memo"), &QPlainTextEdit::textChanged);
    f.SetText("APN", "internet");
    f.SetChecked("No1Out", true);
    f.SetItemIndex("GPRSType", 2);
    f.SetText("GPRSType", "TCP");
    f.SetText("RFID_Memo", "X");
    EXPECT_EQ(edited.count() + toggled.count() + selected.count() + shown.count() + memo.count(), 0);
    // The setters did their work all the same.
    EXPECT_EQ(f.ItemIndex("GPRSType"), 2);
    EXPECT_EQ(f.Text("GPRSType"), "TCP");
}

TEST(WidgetFormErrors, UnknownNamesAndWrongKindsAsTheHeadlessForm) {
    BarePages p;
    MemoryForm memory;
    for (Form* form : {static_cast<Form*>(p.form.get()), static_cast<Form*>(&memory)}) {
        EXPECT_THROW(form->Text("NoSuchBox"), EUnknownControl);
        EXPECT_THROW(form->SetVisible("NoSuchBox", true), EUnknownControl);
        EXPECT_THROW(form->Checked("APN"), std::logic_error);
        EXPECT_THROW(form->ItemIndex("No1Out"), std::logic_error);
        EXPECT_THROW(form->Text("OpenPort"), std::logic_error);
        EXPECT_THROW(form->Caption("APN"), std::logic_error);
        EXPECT_THROW(form->Text("TabSheet1"), std::logic_error);
        EXPECT_THROW(form->SetItems("APN", {}), std::logic_error);
    }
}

}  // namespace
}  // namespace quorvane
