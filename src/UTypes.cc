#include "UTypes.h"

#include <algorithm>
#include <iterator>

namespace sondrax {

RunState Run;

std::string IdText(const unsigned char* id) {
  std::string text;
  for (int i = 0; i < 4 && id[i] != 0; ++i) {
    text.push_back(static_cast<char>(id[i]));
  }
  return text;
}

namespace {

struct FormatTagEntry {
  std::uint16_t Tag;
  const char* Text;
};

// Sorted by tag: looked up by halving. Texts are code page 437 bytes.
constexpr FormatTagEntry kFormatTags[] = {
    {0x0000, "(Microsoft - unknown)"},
    {0x0001, "Microsoft - uncompressed PCM"},
    {0x0002, "Microsoft - MS ADPCM"},
    {0x0003, "Microsoft - IEEE floating point"},
    {0x0004, "Compaq - VSELP (Windows CE 2.0)"},
    {0x0005, "IBM - CVSD"},
    {0x0006, "Microsoft - CCITT A-Law"},
    {0x0007,
     "Microsoft - CCITT \xE6"
     "-Law"},
    {0x0010, "OKI - OKI ADPCM"},
    {0x0011, "intel - DVI/IMA ADPCM"},
    {0x0012, "Videologic - MediaSpace ADPCM"},
    {0x0013, "Sierra Semiconductor Corp. - Sierra ADPCM"},
    {0x0014, "Antex Electronics Corp. - G.723 ADPCM"},
    {0x0015, "DSP Solutions - Digi Std."},
    {0x0016, "DSP Solutions - Digi Fixed"},
    {0x0017, "Dialogic Corp. - OKI ADPCM"},
    {0x0018, "Media Vision - MediaVision ADPCM"},
    {0x0019, "Hewlett Packard - CU"},
    {0x0020, "Yamaha Corp. - Yamaha ADPCM"},
    {0x0021, "Speech Compression - SONARC"},
    {0x0022, "DSP Group - TrueSpeech"},
    {0x0023, "Echo Speech - EchoSC1"},
    {0x0024, "Virtual Music - Audiofile AF36"},
    {0x0025, "Audio Processing Technology - APTX"},
    {0x0026, "Virtual Music - Audiofile AF10"},
    {0x0027, "Aculab - Prosody 1612"},
    {0x0028, "Merging Technologies - LRC"},
    {0x0030, "Dolby Laboratories - AC2"},
    {0x0031, "Microsoft - GSM 6.10"},
    {0x0032, "Microsoft - MSN Audio"},
    {0x0033, "Antex Electronics Corp. - ADPCME"},
    {0x0034, "Control Res. Ltd. - VQLPC"},
    {0x0035, "DSP Solutions - Digi Real"},
    {0x0036, "DSP Solutions - Digi ADPCM"},
    {0x0037, "Control Res. Ltd. - CR10"},
    {0x0038, "Natural MicroSystems - VBX-ADPCM"},
    {0x0039, "Roland - RDAC"},
    {0x003A, "Echo Speech Corp. - EchoSC3"},
    {0x003B, "Rockwell Intl. - Rockwell ADPCM"},
    {0x003C, "Rockwell Intl. - Rockwell Digitalk"},
    {0x003D, "Xebec MM Sol. Ltd. - Xebec"},
    {0x0040, "Antex Electronics Corp. - G.721 ADPCM"},
    {0x0041, "Antex Electronics Corp. - G.728 CELP"},
    {0x0042, "Microsoft - G.723"},
    {0x0050, "Microsoft - MPEG Audio"},
    {0x0052, "Voxware Inc. - Metavoice RT24"},
    {0x0053, "InSoft, Inc. - PAC"},
    {0x0055, "AT&T Labs, Inc. - ISO/MPEG Layer-3 Audio"},
    {0x0059, "Lucent Technologies - Lucent G.723"},
    {0x0060, "Cirrus Logic - Cirrus"},
    {0x0061, "ESS Technologies - ESPCM"},
    {0x0062, "Voxware Inc. - CODEC File"},
    {0x0063, "Canopus, Co., Ltd. - Canopus ATRAC"},
    {0x0064, "APICOM - G.726 ADPCM"},
    {0x0065, "APICOM - G.722 ADPCM"},
    {0x0066, "Microsoft - DSAT"},
    {0x0067, "Microsoft - DSAT Display"},
    {0x0069, "Voxware Inc. - Byte Aligned"},
    {0x0070, "Lernout & Hauspie CELP4"},
    {0x0071, "Lernout & Hauspie SBC 8 kbps"},
    {0x0072, "Lernout & Hauspie SBC 12 kbps"},
    {0x0073, "Lernout & Hauspie SBC 16 kbps"},
    {0x0074, "Voxware Inc. - RT24"},
    {0x0075, "Voxware Inc. - RT29"},
    {0x0076, "Voxware Inc. - RT29HW"},
    {0x0077, "Voxware Inc. - VR12"},
    {0x0078, "Voxware Inc. - VR18"},
    {0x0079, "Voxware Inc. - TQ40"},
    {0x0080, "Softsound, Ltd. - Softsound"},
    {0x0081, "Voxware Inc. - TQ60"},
    {0x0082, "Microsoft - RT24"},
    {0x0083, "AT&T Laboratories - G.729A"},
    {0x0084, "Motion Pixels - MVI MV12"},
    {0x0085, "DataFusion Systems - DF G.726"},
    {0x0086, "DataFusion Systems - DF GSM 6.10"},
    {0x0088, "Iterated Systems - ISIAudio"},
    {0x0089, "OnLive! Technologies, Inc. - Onlive"},
    {0x0091, "Siemens Busines CommSys. - SBC24"},
    {0x0092, "Sonic Foundry - Dolby AC3 S/P-DIF"},
    {0x0097, "ZyXEL Comm., Inc. - ZyXEL ADPCM"},
    {0x0098, "Philips Speech Processing - Philips LPCBB"},
    {0x0099, "Studer Prof. Audio AG - Packed"},
    {0x0100, "Rhetorex, Inc. - Rhetorex ADPCM"},
    {0x0101, "BeCubed Software Inc. - IRAT"},
    {0x0111, "Vivo Software - G.723"},
    {0x0112, "Vivo Software - Siren"},
    {0x0123, "Digital Equipment Corp. - Digital G.723"},
    {0x0160, "Windows Media V1 (or DivX audio V1)"},
    {0x0161, "Windows Media V2 (or DivX audio V2)"},
    {0x0200, "Creative Labs, Inc. - Creative ADPCM"},
    {0x0202, "Creative Labs, Inc. - Creative FastSpeech8"},
    {0x0203, "Creative Labs, Inc. - Creative FastSpeech10"},
    {0x0220, "Quarterdeck Corp. - Quarterdeck"},
    {0x0270, "SONY - ATRAC3"},
    {0x0300, "Fujitsu Corp. - FM Towns Snd."},
    {0x0400, "Brooktree Corp. - BTV Digital"},
    {0x0680, "AT&T Labs - VME VMPCM"},
    {0x0FFF, "Voxware Inc. - Bitstream"},
    {0x1000, "Olivetti - OLIGSM"},
    {0x1001, "Olivetti - OLIADPCM"},
    {0x1002, "Olivetti - OLICELP"},
    {0x1003, "Olivetti - OLISBC"},
    {0x1004, "Olivetti - OLIOPR"},
    {0x1100, "Lernout & Hauspie - LH Codec"},
    {0x1400, "Norris Communications, Inc. - Norris"},
    {0x1401, "AT&T Labs, Inc. - ISIAudio"},
    {0x1500, "AT&T Labs, Inc. - Soundspace Music Compr."},
    {0x181C, "Voxware MetaVoice RT24, constant bitrate"},
    {0x181E, "Lucent elemedia AX24000P Music"},
    {0x1C07, "Lucent SX8300P Speech"},
    {0x2000, "FAST Multimedia AG - DVM"},
    {0xFFFA, "VDOwave SA"},
    {0xFFFC, "VDOwave I"},
    {0xFFFF, "(reserved for development)"},
};

constexpr bool SortedByTag() {
  for (std::size_t i = 1; i < std::size(kFormatTags); ++i) {
    if (kFormatTags[i - 1].Tag >= kFormatTags[i].Tag) {
      return false;
    }
  }
  return true;
}
static_assert(SortedByTag(), "the catalogue is searched by halving and must stay sorted");

}  // namespace

std::string FormatTagName(std::uint16_t tag) {
  const auto* end = std::end(kFormatTags);
  const auto* found = std::lower_bound(
      std::begin(kFormatTags), end, tag,
      [](const FormatTagEntry& entry, std::uint16_t key) { return entry.Tag < key; });
  if (found == end || found->Tag != tag) {
    return "(unknown)";
  }
  return found->Text;
}

int FormatTagCount() { return static_cast<int>(std::size(kFormatTags)); }

}  // namespace sondrax
