#!/usr/bin/env python3
"""report.py --md FILE --readme FILE --plot DIR RUN.json...: the benchmark's
report from Google Benchmark's JSON files (one per sample type and length,
bench/run.sh): the markdown page, README's bench block, and in DIR the data
for bench/benchmarks.gp. Times are medians of the CPU time per call."""
import argparse
import json
import os
import re

PEERS = ("FFTW", "KissFFT", "FFmpeg")
DIRS = ("forward", "backward")
README_BITS = (6, 10, 14, 18, 20)
DASH = "—"


def table(head, rows, align="---:"):
    lines = [head, ["---"] + [align] * (len(head) - 1)] + rows
    return "\n".join("| " + " | ".join(r) + " |" for r in lines) + "\n"


def num(x, digits=2):
    return DASH if x is None else f"{x:,.0f}" if digits == 0 and x >= 100 else f"{x:.{digits or 1}f}"


class Runs:
    def __init__(self, files):
        self.runs, self.ctx = {}, {}
        for name in files:
            with open(name) as f:
                data = json.load(f)
            c = data["context"]
            self.ctx[c["type"], int(c["bits"])] = c
            for b in data["benchmarks"]:
                # A single repetition has no aggregates: its one run stands.
                if b.get("aggregate_name") == "median" or b["repetitions"] == 1:
                    typ, d, impl, n = b["run_name"].split("/")
                    self.runs[typ, d, impl, int(n).bit_length() - 1] = b
        self.bits = sorted({b for (_, b) in self.ctx})
        self.types = [t for t in ("float", "double") if any(k[0] == t for k in self.ctx)]
        self.paths = {t: [] for t in self.types}
        for (typ, _), c in sorted(self.ctx.items()):
            self.paths[typ] += [p for p in c["quarn_paths"].split(",") if p and p not in self.paths[typ]]

    def get(self, typ, d, impl, bits, key="cpu_time"):
        b = self.runs.get((typ, d, impl, bits))
        return b.get(key) if b else None

    def ratio(self, typ, d, a, b, bits):
        x, y = self.get(typ, d, a, bits), self.get(typ, d, b, bits)
        return x / y if x and y else None

    def has(self, typ, impl):
        return any(k[0] == typ and k[2] == impl for k in self.runs)

    def columns(self, typ, build="quarn"):
        return [f"{build}.{p}" for p in self.paths[typ] + ["default"]]

    def peers(self, typ):
        return [p for p in PEERS if self.has(typ, p)]

    def section(self, typ, d, first):
        cols, peers, rows = self.columns(typ), self.peers(typ), [[], [], [], []]
        heads = [c[6:] for c in cols]
        for b in self.bits:
            n, t = f"2^{b}", self.get(typ, d, cols[-1], b)
            default = f"{num(t, 0)} ({self.get(typ, d, cols[-1], b, 'label') or DASH})"
            rows[0].append([n] + [num(self.get(typ, d, c, b), 0) for c in cols[:-1]] + [default]
                           + [num(self.get(typ, d, p, b), 0) for p in peers])
            best = min(((self.get(typ, d, p, b), p) for p in peers if self.get(typ, d, p, b)), default=None)
            versus = f"{num(t / best[0])} ({best[1]})" if t and best else DASH
            rows[1].append([n] + [num(self.ratio(typ, d, c, "FFTW", b)) for c in cols] + [versus])
            for i, build in ((2, "quarn2"), (3, "quarn_base")):
                rows[i].append([n] + [num(self.ratio(typ, d, c, build + c[5:], b)) for c in cols])
        out = [f"## {typ}, {d}\n", "Time per transform (ns); the default's path in brackets:\n",
               table(["N"] + heads + peers, rows[0]),
               "quarn's time over FFTW's, and the default's over the fastest peer's (below 1: quarn is faster):\n",
               table(["N"] + heads + ["default / best peer"], rows[1])]
        for i, title in ((2, f"quarn at `{first['flags']}` over quarn with `{first['flags2']}` added"),
                         (3, f"this tree's quarn over baseline {first['baseline']}'s")):
            if self.has(typ, ("quarn2" if i == 2 else "quarn_base") + ".default"):
                out += [f"{title}, per path:\n", table(["N"] + heads, rows[i])]
        return "\n".join(out)

    def memory(self, typ):
        cols, peers = self.columns(typ), self.peers(typ)
        rows = [[f"2^{b}"] + [num(self.get(typ, "forward", c, b, "bytes_per_sample")) for c in cols]
                + [" / ".join(num(self.get(typ, d, p, b, "bytes_per_sample")) for d in DIRS) for p in peers]
                for b in self.bits]
        return table(["N"] + [f"quarn {c[6:]}" for c in cols] + [f"{p} fwd / bwd" for p in peers], rows)

    def ffmpeg(self):
        notes = []
        for typ in self.types:
            spans = []
            for b in self.bits:
                # fft16_..., fft32_...: one family of codelets, by length
                chain = re.sub(r"(?<=fft)\d+", "N", ", ".join(f"`{self.ctx[typ, b]['ffmpeg_' + d]}`" for d in DIRS))
                if spans and spans[-1][2] == chain:
                    spans[-1][1] = b
                else:
                    spans.append([b, b, chain])
            for lo, hi, chain in spans:
                x = [v for b in self.bits if lo <= b <= hi for v in [self.ratio(typ, "forward", "FFmpeg", "FFTW", b)] if v]
                how = f"forward time over FFTW's {min(x):.2f} to {max(x):.2f}" if x else "not timed"
                notes.append(f"- {typ}, 2^{lo}{'' if lo == hi else f' to 2^{hi}'}: {chain}; {how}")
        return "\n".join(notes)


def main():
    ap = argparse.ArgumentParser()
    for opt in ("--md", "--readme", "--plot"):
        ap.add_argument(opt, required=True)
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    r = Runs(args.files)
    first = min(r.ctx.values(), key=lambda c: c["date"])
    last = max(r.ctx.values(), key=lambda c: c["date"])
    with open("/proc/cpuinfo") as f:
        info = f.read()
    model = (re.findall(r"^model name\s*: (.*)$", info, re.M) or ["unknown CPU"])[0]
    flags = (re.findall(r"^(?:flags|Features)\s*: (.*)$", info, re.M) or [""])[0].split()
    ext = " ".join(x for x in flags if re.match(r"^(sse\d\w*|ssse3|avx\w*|fma|asimd\w*|sve\w*)$", x))
    reps = max(b["repetitions"] for b in r.runs.values())
    setup = [["Date", first["date"][:16].replace("T", " ") + " UTC"],
             ["Machine", f"{model}, {first['num_cpus']} logical CPUs; {ext}"],
             ["Load", f"pinned to {first['pinned'] or 'no CPU'}; load average {first['load_avg'][0]:.2f} "
                      f"at the start, {last['load_avg'][0]:.2f} at the last length"],
             ["Compiler and flags", f"{first['compiler']}, `{first['flags']}` (RelWithDebInfo); quarn's "
                                    f"second build adds `{first['flags2']}`"],
             ["quarn", first["revision"] + (f", beside baseline {first['baseline']}" if first["baseline"] else "")],
             ["Peers", f"{first['fftw_version']}; KissFFT {first['kissfft_version']} (float only); FFmpeg "
                       f"libavutil {first['ffmpeg_version']}: Debian's builds"],
             ["Google Benchmark", f"up to {reps} repetitions in random interleaved order, at least "
                                  f"{first['min_time']} s each; the library is a {first['library_build_type']} build"],
             ["Run time", f"{(max(map(os.path.getmtime, args.files)) - int(first['started'])) / 60:.0f} min "
                          "from the first process to the last"]]
    md = ["# Benchmarks\n", "<!-- Generated by `make bench` (bench/run.sh, bench/report.py). Do not edit: rerun. -->\n",
          "quarn's real-signal transforms, each instruction-set path that this CPU runs and the default choice, "
          "beside FFTW's, KissFFT's and FFmpeg's: one thread, out of place, every power-of-two length from "
          f"2^{r.bits[0]} to 2^{r.bits[-1]}. Reproduce with `make bench`.\n",
          "![Speed against length](benchmarks.svg)\n", table(["", ""], setup, "---"),
          "Each length and sample type ran in a process of its own, which interleaved the repetitions of all its "
          "cases at random, so that a busy moment of this shared machine falls on all of them alike. Times are "
          f"medians over the repetitions, ratios are of such medians. {DASH}: a path that does not run at that "
          "length (below its minimum length the object runs a narrower one), or a library not timed there.\n"]
    md += [r.section(typ, d, first) for typ in r.types for d in DIRS]
    md += ["## Plan memory (bytes per sample)\n"] + [f"{typ}:\n\n{r.memory(typ)}" for typ in r.types]
    md.append("""## Method

- quarn: `FFTReal<T> (n, isa)` for each path that `isa_available` and `isa ()` confirm at the length, `FFTReal<T> (n)` for the default; `forward (f, x)` and `backward (x, f)`. One object serves both directions.
- FFTW: `fftw(f)_plan_dft_r2c_1d` and `_c2r_1d`, `FFTW_MEASURE` (the planner given at most 60 s a plan), the inverse with `FFTW_PRESERVE_INPUT`, as quarn's inverse keeps its input. KissFFT: `kiss_fftr`, `kiss_fftri`. FFmpeg: `av_tx_init` with `AV_TX_FLOAT_RDFT` or `AV_TX_DOUBLE_RDFT`; this version's inverse overwrites its input, so each inverse call first copies its N/2 + 1 bins, inside the timed loop.
- The second build of quarn gets `-march=native` (by default), which lets the compiler use all of this CPU's instructions in every path: its SSE2 and AVX2 paths are not confined to those sets.
- Before timing, every case's output is checked against FFTW's double-precision transform of the same values: relative RMS error at most 1e-5 for float and 1e-12 for double, and the input left as it was, or the run stops.
- Memory: glibc's heap in use (`mallinfo2`: `uordblks + hblkhd`, malloc's headers included, its per-thread cache off) just before and after creating the plan, which counts what each library allocates through malloc. FFTW plans are made again from the wisdom of a first plan while no other exists, so neither planner scratch nor wisdom counts; FFmpeg's twiddle tables are static arrays shared by all contexts and not counted. The caller's buffers are not counted.

FFmpeg's `av_tx` chains transforms; its debug log names the chain for each length, forward and backward (`_c`: C code, the others x86 assembly). Where the chain is the naive O(N^2) DFT, FFmpeg is not timed:
""")
    md.append(r.ffmpeg())
    with open(args.md, "w") as f:
        f.write("\n".join(md) + "\n")

    bits = [b for b in README_BITS if b in r.bits]
    rows = [[f"{typ} {d}, {c[6:]}"] + [num(r.ratio(typ, d, c, "FFTW", b)) for b in bits]
            for typ in r.types for d in DIRS
            for c in (r.columns(typ) if (typ, d) == ("float", "forward") else ["quarn.default"])]
    block = ("<!-- bench:begin: generated by `make bench`, do not edit -->\n"
             "quarn's time over FFTW's (r2c and c2r, `FFTW_MEASURE`; below 1: quarn is faster), medians of "
             f"{reps} interleaved repetitions; {model} ({'with' if 'avx512f' in flags else 'no'} AVX-512), "
             f"{first['compiler']} `{first['flags']}`, {first['date'][:10]}. Every length, the other peers, "
             f"`{first['flags2']}` and memory: [docs/benchmarks.md](docs/benchmarks.md).\n\n"
             + table(["N"] + [f"2^{b}" for b in bits], rows) + "<!-- bench:end -->")
    with open(args.readme) as f:
        readme, count = re.subn(r"<!-- bench:begin.*?<!-- bench:end -->", lambda _: block, f.read(), flags=re.S)
    if count != 1:
        raise SystemExit(f"report.py: {args.readme} has no bench:begin ... bench:end block")
    with open(args.readme, "w") as f:
        f.write(readme)

    names = []
    for typ in r.types:
        cols = r.columns(typ)[:-1] + r.peers(typ)
        names += [c for c in cols if c not in names]
        for d in DIRS:
            with open(f"{args.plot}/{typ}-{d}.dat", "w") as f:
                f.write(" ".join(["log2N"] + cols).replace("quarn.", "quarn_") + "\n")
                for b in r.bits:
                    t = [r.get(typ, d, c, b) for c in cols]
                    f.write(" ".join([str(b)] + [f"{2.5 * b * 2 ** b / x:.1f}" if x else "NaN" for x in t]) + "\n")
    with open(f"{args.plot}/columns", "w") as f:
        f.write(" ".join(names).replace("quarn.", "quarn_") + "\n")
    print(f"wrote {args.md}, the bench block of {args.readme} and the plot data in {args.plot}")


if __name__ == "__main__":
    main()
