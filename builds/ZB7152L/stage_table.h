// Stage and error numbering of the ZB7152L program (DSP): the number of a
// stage is its index here and the line of its tip in the overlay; the number
// of an error is its index and the line of its text.
#pragma once
#include "sequence/stage_ids.h"

namespace stage_table {

inline constexpr St kStages[] = {
    St::WaitEcho,
    St::Opening,
    St::Reset,
    St::Standby,
    St::RomFile_Open,
    St::RomFile_Load,
    St::RomFile_Ok,
    St::Ready,
    St::Start,
    St::CommOpen,
    St::CommOpen_Ok,
    St::IpOpen,
    St::IpOpen_Ok,
    St::Boot_Reset_On,
    St::Boot_Mode_ON,
    St::Boot_Reset_Off,
    St::Boot_Check_Setup,
    St::Boot_Baud_Cmd,
    St::Boot_BaudChange,
    St::Boot_FirmUp_Cmd,
    St::Boot_Check_Loop,
    St::Boot_Start_Cmd,
    St::BitRate_00_First,
    St::BitRate_00_Next,
    St::Bitrate_Send55,
    St::Bitrate_WaitAA,
    St::FlachChk_Setup,
    St::FlachChk,
    St::Firm_SendAdr,
    St::Firm_ReplyAdr_U,
    St::Firm_ReplyAdr_L,
    St::Firm_SendData,
    St::Firm_WaitAA,
    St::RomW_Setup,
    St::RomW_Setup_Wait,
    St::RomW_ChkRig,
    St::RomW_Data,
    St::RomW_Sum,
    St::Wake_Reset_Req,
    St::Wake_Reset_On,
    St::Wake_Mode_Off,
    St::Wake_Reset_Off,
    St::Completed,
};

inline constexpr Er kErrors[] = {
    Er::None,
    Er::RomImage_Open,
    Er::RomImage_Format,
    Er::ComOpen,
    Er::IPConnect,
    Er::Boot,
    Er::Bitrate,
    Er::FirmUpload,
    Er::Product,
    Er::RomData,
    Er::WakeAgain,
    Er::MisMatch,
    Er::Unknown,
};

// The stages after Start exist for this program (otherwise a Start ends
// back in Standby with the error Unknown).
inline constexpr bool kRunStages = false;

}  // namespace stage_table
