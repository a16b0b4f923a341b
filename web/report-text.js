// The report's text as a console shows it.
//
// The program writes the report for a UTF-8 terminal: code page 437 glyphs, and of control
// codes only its own CR LF line ends and the backspace that closes a byte dump, taking the
// cursor back over the blank after the last byte. Bytes of the file's own texts never arrive
// as control codes, so nothing a file holds can move the cursor.

/**
 * The lines of `text` as a console shows them. `ended` tells whether the last line was ended
 * by CR LF; a text that does not end so has its open last line in `lines`.
 */
export function consoleLines(text) {
  const lines = [];
  let line = [];
  let column = 0;
  const characters = Array.from(text);
  for (let i = 0; i < characters.length; i++) {
    const c = characters[i];
    if (c === "\r" && characters[i + 1] === "\n") {
      lines.push(line.join(""));
      line = [];
      column = 0;
      i++;
    } else if (c === "\b") {
      // The cursor goes back; the next character overwrites what stands there.
      if (column > 0) column--;
    } else {
      line[column++] = c;
    }
  }
  const ended = line.length === 0;
  if (!ended) lines.push(line.join(""));
  return { lines, ended };
}

/** The whole of `text` as a console shows it, with "\n" for each line end. */
export function consoleText(text) {
  const { lines, ended } = consoleLines(text);
  return lines.map((line, i) => (i < lines.length - 1 || ended ? `${line}\n` : line)).join("");
}

/** Whether a report line says what is wrong with the file. */
export function isErrorLine(line) {
  return line.includes("*ERROR*: ");
}
