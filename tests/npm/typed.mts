// A program that uses the package as its types describe it; tsc --noEmit --strict must accept
// it (install.test.mjs).
import { type Diagnosis, type Finding, type Report, report, type Verdict } from "sondrax";

const inputs: (string | Blob | Uint8Array | ArrayBuffer)[] = [
  "take.wav",
  new Blob([]),
  new Uint8Array(44),
  new ArrayBuffer(44),
];
for (const input of inputs) {
  const result: Report = await report(input);
  const verdict: Verdict = result.verdict;
  const diagnosis: Diagnosis = result.diagnosis;
  const worst: Finding | undefined = diagnosis.findings[0];
  const seconds: number | null = diagnosis.duration.present;
  const format: string = diagnosis.format?.name ?? "no format";
  const saved: Uint8Array = result.bytes;
  console.log(verdict, worst?.code, seconds, format, saved.length, result.chunks.length);
}
