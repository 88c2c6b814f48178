#pragma once
// Language text numbers the map view uses.
namespace mapview::txt {
constexpr int NoListWindow = 129;
constexpr int EnterNewSerial = 130;
constexpr int SerialInvalid = 132;
constexpr int SerialInList = 133;
constexpr int LatLongPrompt1 = 643;
constexpr int LatLongPrompt2 = 644;
constexpr int LatLongPrompt3 = 645;
constexpr int MapStartFailed = 651;
constexpr int MapControlMissing = 652;
constexpr int SymbolsVersion0 = 653;
constexpr int SymbolsUnknownVersion = 654;
constexpr int MapRegionUnknown = 655;
constexpr int MapVersionUnknown = 656;
constexpr int MapNoTemplate = 657;
constexpr int SymbolsVersion2 = 659;
constexpr int FrameAdditionalInformation = 671;
constexpr int AdditionalInfo = 672;
constexpr int AddressField1 = 673;
constexpr int AddressField2 = 674;
constexpr int LocationNumber = 675;
constexpr int SerialNumber = 676;
constexpr int LabelSettings = 677;
constexpr int LabelLS = 678;
constexpr int LabelLocNumLS = 679;
constexpr int LabelSerialLS = 680;
constexpr int LeakModeOnly = 681;
constexpr int ShowAllDetails = 682;
constexpr int WaitBuilding = 683;
constexpr int WaitRestoring = 684;
constexpr int WaitClosing = 685;
constexpr int SymbolsVersion3 = 687;
} // namespace mapview::txt
