// The report's bytes as a code page 437 console shows them.
//
// The report is code page 437 text with CR LF line ends, and the byte dumps close with a
// backspace that takes the cursor back over the blank after the last byte. Every other byte,
// control bytes and zero bytes from the file's own texts included, is shown as its code page
// 437 glyph, as the program shows it on a terminal.

const GLYPHS = [
  // 00-1F: the glyphs a console draws for the control bytes; 00 is a blank.
  0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,
  0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
  0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
  0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
  // 80-FF
  0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
  0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
  0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
  0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
  0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
  0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
  0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
  0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
  0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
  0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
  0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
  0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
  0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
  0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
  0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
  0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
];

/** The glyph of each of the 256 bytes. */
export const CP437 = Array.from({ length: 256 }, (_, byte) => {
  if (byte < 0x20) return String.fromCodePoint(GLYPHS[byte]);
  if (byte === 0x7f) return "\u2302";
  if (byte < 0x80) return String.fromCharCode(byte);
  return String.fromCodePoint(GLYPHS[byte - 0x80 + 0x20]);
});

const CR = 0x0d;
const LF = 0x0a;
const BACKSPACE = 0x08;

/**
 * The lines of `bytes` (a Uint8Array) as a console shows them. `ended` tells whether the last
 * line was ended by CR LF; a text that does not end so has its open last line in `lines`.
 */
export function consoleLines(bytes) {
  const lines = [];
  let line = [];
  let column = 0;
  for (let i = 0; i < bytes.length; i++) {
    const byte = bytes[i];
    if (byte === CR && bytes[i + 1] === LF) {
      lines.push(line.join(""));
      line = [];
      column = 0;
      i++;
    } else if (byte === BACKSPACE) {
      // The cursor goes back; the next byte overwrites what stands there.
      if (column > 0) column--;
    } else {
      line[column++] = CP437[byte];
    }
  }
  const ended = line.length === 0;
  if (!ended) lines.push(line.join(""));
  return { lines, ended };
}

/** The whole text of `bytes` as a console shows it, with "\n" for each line end. */
export function consoleText(bytes) {
  const { lines, ended } = consoleLines(bytes);
  return lines.map((line, i) => (i < lines.length - 1 || ended ? line + "\n" : line)).join("");
}

/** Whether a report line says what is wrong with the file. */
export function isErrorLine(line) {
  return line.includes("*ERROR*: ");
}
