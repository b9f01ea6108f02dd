// Logical identities of the sequencer's stages and error codes. Every build
// numbers a subset of them in its own builds/<program>/stage_table.h; the
// number of a stage is the line of its tip in the overlay, the number of an
// error the line of its text. The stage code dispatches on these names, so a
// build's numbering is data of that build alone.
#pragma once
#include <cstddef>

enum class St {
  WaitEcho,
  Opening,
  Reset,
  Standby,
  RomFile_Open,
  RomFile_Load,
  RomFile_Ok,
  Ready,
  Start,
  CommOpen,
  CommOpen_Ok,
  IpOpen,
  IpOpen_Ok,
  Boot_Reset_On,
  Boot_Mode_ON,
  Boot_Reset_Off,
  Boot_Check_Setup,
  Boot_Baud_Cmd,
  Boot_BaudChange_Cmd,
  Boot_BaudChange,
  Boot_FirmUp_Cmd,
  Boot_Check_Loop,
  Boot_StartDigital_Cmd,
  Boot_Start_Cmd,
  BitRate_00_First,
  BitRate_00_Next,
  Bitrate_Send55,
  Bitrate_WaitAA,
  FlachChk_Setup,
  FlachChk,
  Firm_SendAdr,
  Firm_ReplyAdr_U,
  Firm_ReplyAdr_L,
  Firm_SendData,
  Firm_WaitAA,
  RomW_Setup,
  RomW_Setup_Wait,
  RomW_Setup_Hold,
  RomW_BaudReq,
  RomW_BaudWait,
  RomW_ChkRig,
  RomW_ChkRev,
  RomW_Data,
  // Front panel: the boot area is written twice (command 0x08, then 0x00),
  // then the rest of the image; RomW_Data is the first of the three passes.
  RomW_Data_Again,
  RomW_Data_High,
  RomW_Sum,
  RomW_WrtRev,
  RomW_WrtMat,
  Wake_Reset_Req,
  Wake_Reset_On,
  Wake_Mode_Off,
  Wake_Reset_Off,
  Completed,
  None_  // not a stage: the answer for a number a build does not have
};

enum class Er {
  None,
  RomImage_Open,
  RomImage_Format,
  ComOpen,
  IPConnect,
  Boot,
  Bitrate,
  FirmUpload,
  Product,
  RomData,
  WakeAgain,
  MisMatch,
  MatWrite,
  RevCheck,
  Unknown,
};

// Number of a name in a build's table (index = number), -1 when absent.
template <typename T, std::size_t N>
constexpr int NumberIn(const T (&table)[N], T name) {
  for (std::size_t i = 0; i < N; ++i)
    if (table[i] == name) return static_cast<int>(i);
  return -1;
}
