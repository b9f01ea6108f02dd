// The three built-in overlays, read through the table as the program reads
// them: sizes, the lookups the window and the log rely on, and the stage and
// error numbering of each program.
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "texts/clsGTex.h"
#include "texts/clsStrCom.h"
#include "texts/overlays.h"

namespace {

const std::string kFail = "**** ERROR !!! ****";
const std::string kDashes = "//----------------------------------------------";

using Names = std::vector<std::string>;

struct Build {
    const char* program;
    OverlayLines (*overlay)();
    int lineCount;
    std::string title;
    Names message00;  // lines before the "#"
    Names menu;       // lines before the blank line
    bool hasTcp;
    Names stages;     // tip line n = stage n
    Names errors;     // error text line n = error n
    std::set<std::string> tabbedStages;
    Names opWarn;     // lines before the "#"
};

void PrintTo(const Build& b, std::ostream* os) { *os << b.program; }

const Names kMenuHead = {"+&File", " +&Open", " +E&xit", "+&COM Port", " +COM &1",
                         " +COM &2", " +COM &3", " +COM &4", " +&More..."};

Names Concat(Names a, const Names& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Build kBuilds[] = {
    {"ZB7152K", Overlay_ZB7152K, 193, "ZB-7152K",
     {"ZB-7152K Rev.2.7", "Vantrel for KV-MT7200 Series Only.", "Copyright (C) 2026 Vantrel. All rights reserved."},
     Concat(kMenuHead, {" +-", " +Normal Speed", " +High Speed", " +Full Speed", "+&TCP/IP", " +&IP Address",
                        " +&Port"}),
     true,
     {"Opening", "Reset", "Standby", "RomFile_Open", "RomFile_Load", "RomFile_Ok", "Ready", "Start",
      "CommOpen", "CommOpen_Ok", "IpOpen", "IpOpen_Ok", "Boot_Reset_On", "Boot_Mode_ON", "Boot_Reset_Off",
      "Boot_BaudChange_Cmd", "Boot_BaudChange", "Boot_FirmUp_Cmd", "Boot_StartDigital_Cmd", "Boot_Start_Cmd",
      "BitRate_00_First", "BitRate_00_Next", "Bitrate_Send55", "Bitrate_WaitAA", "FlachChk_Setup", "FlachChk",
      "Firm_SendAdr", "Firm_ReplyAdr_U", "Firm_ReplyAdr_L", "Firm_SendData", "Firm_WaitAA", "RomW_Setup",
      "RomW_Setup_Wait", "RomW_Setup_Hold", "RomW_BaudReq", "RomW_BaudWait", "RomW_ChkRig", "RomW_ChkRev",
      "RomW_Data", "RomW_Sum", "RomW_WrtRev", "RomW_WrtMat", "Wake_Reset_Req", "Wake_Reset_On",
      "Wake_Mode_Off", "Wake_Reset_Off", "Completed"},
     {"None", "RomImage_Open", "RomImage_Format", "ComOpen", "IPConnect", "Boot", "Bitrate", "FirmUpload",
      "Product", "RomData", "WakeAgain", "MisMatch", "MatWrite", "RevCheck", "Unknown"},
     {},
     {""}},
    {"ZB7152M", Overlay_ZB7152M, 153, "KV-MT7200 (Front) Rev.1.2 Vantrel",
     {"KV-MT7200 (Front) Rev.1.2 Vantrel", "Copyright (C) 2026 Vantrel. All rights reserved."},
     kMenuHead,
     false,
     // 42 tip lines for the stages 0..43: from stage 34 on the line of a
     // stage number is not the one named after that stage.
     {"Opening", "Reset", "Standby", "RomFile_Open", "RomFile_Load", "RomFile_Ok", "Ready", "Start",
      "CommOpen", "CommOpen_Ok", "Boot_Reset_On", "Boot_Mode_ON", "Boot_Reset_Off", "Boot_BaudChange_Cmd",
      "Boot_BaudChange", "Boot_FirmUp_Cmd", "Boot_StartDigital_Cmd", "Boot_Start_Cmd", "BitRate_00_First",
      "BitRate_00_Next", "Bitrate_Send55", "Bitrate_WaitAA", "FlachChk_Setup", "FlachChk", "Firm_SendAdr",
      "Firm_ReplyAdr_U", "Firm_ReplyAdr_L", "Firm_SendData", "Firm_WaitAA", "RomW_Setup", "RomW_Setup_Wait",
      "RomW_ChkRig", "RomW_ChkRev", "RomW_Data", "RomW_Sum", "RomW_WrtRev", "RomW_WrtMat", "Wake_Reset_Req",
      "Wake_Reset_On", "Wake_Mode_Off", "Wake_Reset_Off", "Completed"},
     {"None", "RomImage_Open", "RomImage_Format", "ComOpen", "Boot", "Bitrate", "FirmUpload", "Product",
      "RomData", "WakeAgain", "MisMatch", "MatWrite", "RevCheck", "Unknown"},
     {},
     {""}},
    {"ZB7152L", Overlay_ZB7152L, 185, "KV-MT7200 (DSP) Rev.2.7 Vantrel",
     {"KV-MT7200 (DSP) Rev.2.7 Vantrel", "Copyright (C) 2026 Vantrel. All rights reserved."},
     Concat(kMenuHead, {"+&TCP/IP", " +&IP Address", " +&Port"}),
     true,
     {"WaitEcho", "Opening", "Reset", "Standby", "RomFile_Open", "RomFile_Load", "RomFile_Ok", "Ready",
      "Start", "CommOpen", "CommOpen_Ok", "IpOpen", "IpOpen_Ok", "Boot_Reset_On", "Boot_Mode_ON",
      "Boot_Reset_Off", "Boot_Check_Setup", "Boot_Baud_Cmd", "Boot_BaudChange", "Boot_FirmUp_Cmd",
      "Boot_Check_Loop", "Boot_Start_Cmd", "BitRate_00_First", "BitRate_00_Next", "Bitrate_Send55",
      "Bitrate_WaitAA", "FlachChk_Setup", "FlachChk", "Firm_SendAdr", "Firm_ReplyAdr_U", "Firm_ReplyAdr_L",
      "Firm_SendData", "Firm_WaitAA", "RomW_Setup", "RomW_Setup_Wait", "RomW_ChkRig", "RomW_Data",
      "RomW_Sum", "Wake_Reset_Req", "Wake_Reset_On", "Wake_Mode_Off", "Wake_Reset_Off", "Completed"},
     {"None", "RomImage_Open", "RomImage_Format", "ComOpen", "IPConnect", "Boot", "Bitrate", "FirmUpload",
      "Product", "RomData", "WakeAgain", "MisMatch", "Unknown"},
     {"WaitEcho", "Boot_Check_Setup", "Boot_Baud_Cmd", "Boot_Check_Loop"},
     {"For the KV-MT7200 Rev.1.x RADIOs ONLY.", "", "CAUTION !",
      "NEVER write to conventional KV-A31/A41 series or LTR/Passport KV-A41X series transceivers."}},
};

// Tip texts after the name column (the same in every program); stages not
// listed show nothing ("@" alone).
const std::pair<const char*, const char*> kTipTexts[] = {
    {"Standby", "@%R"},
    {"RomFile_Open", "@$@Loading ROM Image File....."},
    {"RomFile_Ok", "@[OK]@%R@$"},
    {"Ready", "@$@=========================@$@Connect Transceiver (No.@%C@).@$@Then Push [OK] to Start Writing.@$"},
    {"CommOpen", "@$@COM Open....."},
    {"CommOpen_Ok", "@[OK]@$@Connecting....."},
    {"IpOpen", "@$@TCP/IP Connect....."},
    {"IpOpen_Ok", "@[OK]@$@Connecting....."},
    {"Firm_SendAdr", "@[OK]@$@Pre Processing....."},
    {"RomW_Data", "@[OK]@$@Writing ROM Data....."},
    {"Wake_Reset_Req", "@[OK]@$@Disconnecting....."},
    {"Completed", "@[OK]@$@$@Completed @(No.@%C@).@$"},
};

std::string TipText(const std::string& name) {
    for (const auto& [n, text] : kTipTexts)
        if (name == n) return text;
    return "@";
}

const std::string kCheckAll =
    "@$@$@Check the following:@$@$@- The COM port settings.@$@- The TCP/IP settings.@$@- Cable connections."
    "@$@- Transceiver power is ON.";
const std::string kCheckCom =
    "@$@$@Check the following:@$@$@- The COM port settings.@$@- Cable connections.@$@- Transceiver power is ON.";

// Error texts after the name column in the main-CPU and DSP programs.
std::string MainErrorText(const std::string& name) {
    if (name == "None") return "@$@";
    if (name == "RomImage_Open") return "@$@Cannot open ROM image file.";
    if (name == "RomImage_Format") return "@$@Illegal ROM image file format.";
    if (name == "ComOpen") return "@$@Cannot open COM port.@$@$@Check the following:@$@$@- The COM port settings.";
    if (name == "IPConnect") return "@$@Cannot connect.@$@$@Check the following:@$@$@- The TCP/IP settings.";
    if (name == "Boot") return "@$@Cannot make boot mode." + kCheckAll;
    if (name == "Bitrate") return "@in bitrate setting." + kCheckAll;
    if (name == "FirmUpload") return "@in pre processing." + kCheckAll;
    if (name == "Product") return "@!@$@@$@Illegal ESN.@$@Firmware update was cancelled.";
    if (name == "RomData") return "@in writing ROM data." + kCheckAll;
    if (name == "WakeAgain") return "@$@Cannot disconnect." + kCheckAll;
    if (name == "MisMatch") return "@$@Cannot write into this product.";
    if (name == "MatWrite") return "@in pre processing.@$@Firmware update was cancelled.";
    if (name == "RevCheck") return "@!@$@@$@Illegal revision number.@$@Firmware update was cancelled.";
    if (name == "Unknown") return "@from COM Port or TCP/IP Port." + kCheckAll;
    return "?";
}

std::string FrontErrorText(const std::string& name) {
    if (name == "Boot") return "@$@Cannot make boot mode." + kCheckCom;
    if (name == "Bitrate") return "@in bitrate setting." + kCheckCom;
    if (name == "FirmUpload") return "@in pre processing." + kCheckCom;
    if (name == "RomData") return "@in writing ROM data." + kCheckCom;
    if (name == "WakeAgain") return "@$@Cannot disconnect." + kCheckCom;
    if (name == "Unknown") return "@from COM Port." + kCheckCom;
    return MainErrorText(name);
}

// The name column: the name padded with blanks to 17 characters, the name
// and one blank when it is longer, or the name and a tab.
std::string NameColumn(const std::string& name, bool tab) {
    if (tab) return name + "\t";
    return name.size() < 17 ? name + std::string(17 - name.size(), ' ') : name + " ";
}

const Names kDialogEndings = {"Caption", "Notice", "Buttons", "SizeOfButtons", "OutofRange"};

class BuiltInOverlay : public testing::TestWithParam<Build> {
protected:
    void SetUp() override {
        lines_ = GetParam().overlay();
        ASSERT_TRUE(table_.AttachLines(lines_.lines, lines_.count));
    }
    std::string Line(const std::string& key, int index) { return table_.GetLine(key, index); }

    OverlayLines lines_{};
    clsGTex table_;
};

TEST_P(BuiltInOverlay, SizeMarkerAndKeyOrder) {
    const Build& b = GetParam();
    ASSERT_EQ(lines_.count, b.lineCount);
    EXPECT_EQ(std::string(lines_.lines[lines_.count - 1]), "#End_Of_Ovl");
    EXPECT_EQ(Line("Sys_Ovl", 0), "OVL");
    EXPECT_EQ(Line("End_Of_Ovl", 0), kFail);
    EXPECT_EQ(Line("No_Such_Key", 0), kFail);

    // Every key line, in order: none twice (a second one could never be
    // found), none longer than the table reads.
    Names keys;
    for (int i = 0; i < lines_.count; ++i) {
        const std::string line = lines_.lines[i];
        EXPECT_LE(line.size(), 1022u) << "line " << i;
        if (line.size() > 1 && line[0] == '#') keys.push_back(line.substr(1));
    }
    Names expected = {"Sys_Ovl", "Sys_AppTitle", "Sys_Form_Size", "Sys_Font_Name", "Sys_Font_Size",
                      "Sys_Font_CharSet", "App_MenuList", "App_ButtonCaption", "App_Dialog_FOpen"};
    for (const char* dialog : {"ComSel", "IpAddr", "IpPort"}) {
        if (!b.hasTcp && std::string(dialog) != "ComSel") continue;
        for (const std::string& end : kDialogEndings)
            expected.push_back(std::string("GI_AppInd_Opt_") + dialog + "_" + end);
    }
    expected = Concat(expected, {"Seq_Message_00", "Seq_Message_OpWarn", "Seq_File_Flashw", "Seq_Mess_SequenceTips",
                                 "Seq_Mess_Cancel", "Seq_Mess_Error_Top", "Seq_Mess_Error_Main", "End_Of_Ovl"});
    EXPECT_EQ(keys, expected);
}

TEST_P(BuiltInOverlay, WindowTexts) {
    const Build& b = GetParam();
    EXPECT_EQ(Line("Sys_AppTitle", 0), b.title);
    EXPECT_EQ(Line("Sys_Form_Size", 1), "400");
    EXPECT_EQ(Line("Sys_Form_Size", 0), "560");  // restarts at the key's first line
    EXPECT_EQ(Line("Sys_Font_Name", 0), "Arial");
    EXPECT_EQ(Line("Sys_Font_Size", 0), "10");
    EXPECT_EQ(Line("Sys_Font_CharSet", 0), "1");
    const Names captions = {"OK", "Cancel", "Exit", ""};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Line("App_ButtonCaption", i), captions[i]);
    EXPECT_EQ(Line("App_Dialog_FOpen", 0), "mot");
    EXPECT_EQ(Line("App_Dialog_FOpen", 1), "ROM image files (*.mot)|*.mot|All files (*.*)|*.*");
    EXPECT_EQ(Line("App_Dialog_FOpen", 4), kDashes);
    EXPECT_EQ(Line("Seq_File_Flashw", 0), "FLASHW.FRM");
    EXPECT_EQ(Line("Seq_Mess_Cancel", 0), "* Cancel *");
    EXPECT_EQ(Line("Seq_Mess_Error_Top", 0), "Error ");
}

TEST_P(BuiltInOverlay, TerminatedMessages) {
    const Build& b = GetParam();
    const int n = static_cast<int>(b.message00.size());
    for (int i = 0; i < n; ++i) EXPECT_EQ(Line("Seq_Message_00", i), b.message00[i]);
    EXPECT_EQ(Line("Seq_Message_00", n), "#");
    const int w = static_cast<int>(b.opWarn.size());
    for (int i = 0; i < w; ++i) EXPECT_EQ(Line("Seq_Message_OpWarn", i), b.opWarn[i]);
    EXPECT_EQ(Line("Seq_Message_OpWarn", w), "#");
}

TEST_P(BuiltInOverlay, MenuListEndsWithABlankLine) {
    const Build& b = GetParam();
    const int n = static_cast<int>(b.menu.size());
    for (int i = 0; i < n; ++i) EXPECT_EQ(Line("App_MenuList", i), b.menu[i]) << "menu line " << i;
    EXPECT_EQ(Line("App_MenuList", n), "");
}

TEST_P(BuiltInOverlay, DialogTextsOnlyForTheLinksOfTheProgram) {
    const Build& b = GetParam();
    struct Dialog {
        const char* kind;
        const char* caption;
        const char* notice;
        const char* outOfRange;
        bool terminated;
    };
    const Dialog dialogs[] = {
        {"ComSel", "COM Port", "Enter COM Port number. (1 - 256)", "Invalid COM Port number.", true},
        {"IpAddr", "IP Address", "Enter IP Address.", "Invalid IP Address.", false},
        {"IpPort", "TCP/IP Port", "Enter TCP/IP Port number.", "Invalid TCP/IP Port number.", true},
    };
    for (const Dialog& d : dialogs) {
        SCOPED_TRACE(d.kind);
        const std::string p = std::string("GI_AppInd_Opt_") + d.kind + "_";
        if (!b.hasTcp && std::string(d.kind) != "ComSel") {
            for (const std::string& end : kDialogEndings) EXPECT_EQ(Line(p + end, 0), kFail) << end;
            continue;
        }
        EXPECT_EQ(Line(p + "Caption", 0), d.caption);
        EXPECT_EQ(Line(p + "Notice", 0), d.notice);
        EXPECT_EQ(Line(p + "Buttons", 0), "OK");
        EXPECT_EQ(Line(p + "Buttons", 1), "Cancel");
        EXPECT_EQ(Line(p + "SizeOfButtons", 0), "Cancel+++");
        EXPECT_EQ(Line(p + "OutofRange", 0), d.outOfRange);
        if (d.terminated) {
            EXPECT_EQ(Line(p + "OutofRange", 1), "#");
        }
    }
}

TEST_P(BuiltInOverlay, StageTipsNumberedByStage) {
    const Build& b = GetParam();
    const int n = static_cast<int>(b.stages.size());
    clsStrCom split;
    for (int i = 0; i < n; ++i) {
        const std::string& name = b.stages[i];
        const std::string column = NameColumn(name, b.tabbedStages.count(name) > 0);
        const std::string line = Line("Seq_Mess_SequenceTips", i);
        SCOPED_TRACE("stage " + std::to_string(i) + " " + name);
        split.SetText(line);
        EXPECT_EQ(split.GetPiece("@", 0), column);
        EXPECT_EQ(line, column + TipText(name));
    }
    EXPECT_EQ(Line("Seq_Mess_SequenceTips", n), "#");
}

TEST_P(BuiltInOverlay, ErrorTextsNumberedByErrorCode) {
    const Build& b = GetParam();
    const int n = static_cast<int>(b.errors.size());
    for (int i = 0; i < n; ++i) {
        const std::string& name = b.errors[i];
        SCOPED_TRACE("error " + std::to_string(i) + " " + name);
        const std::string text = b.hasTcp ? MainErrorText(name) : FrontErrorText(name);
        EXPECT_EQ(Line("Seq_Mess_Error_Main", i), NameColumn(name, false) + text);
        if (!b.hasTcp) {
            EXPECT_EQ(text.find("TCP/IP"), std::string::npos);
        }
    }
    EXPECT_EQ(Line("Seq_Mess_Error_Main", n), "");
}

INSTANTIATE_TEST_SUITE_P(Programs, BuiltInOverlay, testing::ValuesIn(kBuilds),
                         [](const testing::TestParamInfo<Build>& info) { return std::string(info.param.program); });

// The documented single lookups, spelled out once more against the lines the
// window and the log read first.
TEST(BuiltInOverlayLookups, MainCpuStartupMessageEndsOnLineThree) {
    clsGTex t;
    const OverlayLines o = Overlay_ZB7152K();
    ASSERT_TRUE(t.AttachLines(o.lines, o.count));
    EXPECT_EQ(t.GetLine("Seq_Message_00", 3), "#");
    EXPECT_EQ(t.GetLine("App_ButtonCaption", 3), "");
    EXPECT_EQ(t.GetLine("App_Dialog_FOpen", 4), kDashes);
    // Reading a whole list in rising order costs one read per line.
    EXPECT_EQ(t.GetLine("Seq_Mess_SequenceTips", 0).substr(0, 7), "Opening");
    const long before = t.LineReads();
    for (int i = 1; i <= 47; ++i) t.GetLine("Seq_Mess_SequenceTips", i);
    EXPECT_EQ(t.LineReads() - before, 47);
}

}  // namespace
