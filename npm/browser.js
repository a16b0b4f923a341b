// report(input) for browsers: the entry bundlers take (the "browser" condition), without the
// path code of node's entry. See index.d.ts and README.md.
import { reportOn } from "./report.js";

export const report = reportOn(null);
