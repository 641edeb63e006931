#!/usr/bin/env python3
"""report.py OUT README RUN.json...: the benchmark's report from Google
Benchmark's JSON files (one per sample type and length, bench/run.sh):
OUT/benchmarks.md, OUT/benchmarks.svg (drawn by gnuplot) and the bench block
of README. Times are medians of the CPU time per call; two builds of quarn
are compared by their fastest repetitions."""
import datetime
import itertools
import json
import os
import re
import subprocess
import sys

PEERS, DIRS, README_BITS, DASH = ("FFTW", "KissFFT", "FFmpeg"), ("forward", "backward"), (6, 10, 14, 18, 20), "—"
DEFAULT = "quarn.default"
COLOURS = "#7f7f7f #1f77b4 #2ca02c #d62728 #8c564b #9467bd #ff7f0e #000000 #17becf #bcbd22".split()


def num(x, digits=2):
    return DASH if x is None else f"{x:,.0f}" if digits == 0 and x >= 100 else f"{x:.{digits or 1}f}"


def table(head, rows, align="---:"):
    lines = [head, ["---"] + [align] * (len(head) - 1)] + rows
    return "\n".join("| " + " | ".join(r) + " |" for r in lines) + "\n"


class Runs:
    def __init__(self, files):
        self.runs, self.fastest, self.ctx, self.order = {}, {}, {}, {}
        for data in (json.load(open(f)) for f in files):
            typ, _, _, n = data["benchmarks"][0]["run_name"].split("/")
            self.ctx[typ, int(n).bit_length() - 1] = data["context"]
            for b in data["benchmarks"]:
                if b.get("aggregate_name") == "min":
                    typ, d, impl, n = b["run_name"].split("/")
                    self.fastest[typ, d, impl, int(n).bit_length() - 1] = b
                # A single repetition has no aggregates: its one run stands.
                if b.get("aggregate_name") == "median" or b["repetitions"] == 1:
                    typ, d, impl, n = b["run_name"].split("/")
                    self.runs[typ, d, impl, int(n).bit_length() - 1] = b
                    # The order of registration at the longest length, where every path runs.
                    if int(n) >= self.order.get((typ, impl), (0, 0))[0]:
                        self.order[typ, impl] = (int(n), b["family_index"])
        self.bits = sorted({b for (_, b) in self.ctx})
        self.types = [t for t in ("float", "double") if any(k[0] == t for k in self.ctx)]

    def get(self, typ, d, impl, bits, key="cpu_time", runs=None):
        return (self.runs if runs is None else runs).get((typ, d, impl, bits), {}).get(key)

    def ratio(self, typ, d, a, b, bits, runs=None):
        x, y = self.get(typ, d, a, bits, runs=runs), self.get(typ, d, b, bits, runs=runs)
        return x / y if x and y else None

    def quarn(self, typ, build="quarn"):   # its paths, then the default (registered last) if they ran
        return sorted((i for t, i in self.order if t == typ and i.split(".")[0] == build),
                      key=lambda i: self.order[typ, i][1])

    def peers(self, typ):
        return [p for p in PEERS if (typ, p) in self.order]

    def grid(self, heads, cols, cell):   # a row per length, a column per case
        return table(["N"] + heads, [[f"2^{b}"] + [cell(c, b) for c in cols] for b in self.bits])

    def section(self, typ, d, first):
        q, peers = self.quarn(typ), self.peers(typ)
        heads, t = [c[6:] for c in q], lambda c, b, key="cpu_time": self.get(typ, d, c, b, key)

        def vs_peers(c, b):   # c None: the default over the fastest peer
            best = min(((t(p, b), p) for p in peers if t(p, b)), default=None)
            return num(self.ratio(typ, d, c, "FFTW", b)) if c else \
                f"{num(t(DEFAULT, b) / best[0])} ({best[1]})" if t(DEFAULT, b) and best else DASH

        out = [f"## {typ}, {d}\n", "Time per transform (ns); the default's path in brackets:\n",
               self.grid(heads + peers, q + peers, lambda c, b: num(t(c, b), 0) + (
                   f" ({t(c, b, 'label')})" if c == DEFAULT and t(c, b) else "")),
               "quarn's time over FFTW's, and the default's over the fastest peer's (below 1: quarn is faster):\n",
               self.grid(heads + ["default / best peer"], q + [None], vs_peers)]
        # Two builds of quarn run the same code: noise only adds time to either, so their fastest
        # repetitions (where there are several) compare the code more closely than medians do.
        fastest = self.fastest or None
        how = ", fastest repetition over fastest repetition" if fastest else ""
        for build, title in (("quarn2", f"quarn at `{first['flags']}` over quarn with `{first['flags2']}` added"),
                             ("quarn_base", f"this tree's quarn over baseline {first['baseline']}'s")):
            if self.quarn(typ, build):
                out += [f"{title}, per path{how}:\n",
                        self.grid(heads, q, lambda c, b: num(self.ratio(typ, d, c, build + c[5:], b, fastest)))]
        return "\n".join(out)

    def memory(self, typ):
        q, peers = self.quarn(typ), self.peers(typ)
        mem = lambda d, c, b: num(self.get(typ, d, c, b, "bytes_per_sample"))
        return self.grid([f"quarn {c[6:]}" for c in q] + [f"{p} fwd / bwd" for p in peers], q + peers,
                         lambda c, b: mem("forward", c, b) if c in q else " / ".join(mem(d, c, b) for d in DIRS))

    def ffmpeg(self):   # lengths of one chain per line; fft16_..., fft32_...: one family of codelets
        notes = []
        for typ in self.types:
            chains = [(b, re.sub(r"(?<=fft)\d+", "N", ", ".join(f"`{self.ctx[typ, b]['ffmpeg_' + d]}`" for d in DIRS)))
                      for b in self.bits]
            for chain, group in itertools.groupby(chains, key=lambda x: x[1]):
                bits = [b for b, _ in group]
                x = [v for v in (self.ratio(typ, "forward", "FFmpeg", "FFTW", b) for b in bits) if v]
                how = f"forward time over FFTW's {min(x):.2f} to {max(x):.2f}" if x else "not timed"
                span = f"2^{bits[0]}" + (f" to 2^{bits[-1]}" if len(bits) > 1 else "")
                notes.append(f"- {typ}, {span}: {chain}; {how}")
        return "\n".join(notes)

    # The speed of each of quarn's paths (solid) and peers (dashed); a name keeps its colour in every panel.
    def plot(self, svg):
        cols = {typ: [c for c in self.quarn(typ) if c != DEFAULT] + self.peers(typ) for typ in self.types}
        names = list(dict.fromkeys(c for typ in self.types for c in cols[typ]))
        gp = ['set terminal svg size 1100,800 dynamic enhanced font "sans,11" background "white"',
              f'set output "{svg}"', 'set datafile missing "NaN"', 'set key top left font ",9" noenhanced',
              f'set xrange [{self.bits[0] - 0.5}:{self.bits[-1] + 0.5}]', 'set xtics 2 format "2^{%g}"',
              'set xlabel "N"', 'set ylabel "mflops = 2.5 N log_2(N) / ns × 1000"', 'set yrange [0:*]',
              'set grid xtics ytics lc "#dddddd"',
              'set multiplot layout 2,2 title "Real FFT, one thread (higher is faster)"']
        def mflops(typ, d, c, b):
            t = self.get(typ, d, c, b)
            return f"{2.5 * b * 2 ** b / t:.1f}" if t else "NaN"

        for typ, d in itertools.product(self.types, DIRS):
            gp += [f"${typ}_{d} << EOD"] + [" ".join([str(b)] + [mflops(typ, d, c, b) for c in cols[typ]])
                                            for b in self.bits]
            gp += ["EOD", f'set title "{typ}-{d}"', "plot " + ", ".join(
                f'${typ}_{d} using 1:{i + 2} with linespoints pt 7 ps 0.5 lw 2 dt {1 if c.startswith("quarn") else 2} '
                f'lc rgb "{COLOURS[names.index(c) % len(COLOURS)]}" title "{c}"' for i, c in enumerate(cols[typ]))]
        subprocess.run(["gnuplot"], input="\n".join(gp + ["unset multiplot"]), text=True, check=True)


def main():
    out, readme_file, *files = sys.argv[1:]
    r = Runs(files)
    first, last = min(r.ctx.values(), key=lambda c: c["date"]), max(r.ctx.values(), key=lambda c: c["date"])
    info = open("/proc/cpuinfo").read()
    model = (re.findall(r"^model name\s*: (.*)$", info, re.M) or ["unknown CPU"])[0]
    flags = (re.findall(r"^(?:flags|Features)\s*: (.*)$", info, re.M) or [""])[0].split()
    ext = " ".join(x for x in flags if re.match(r"^(sse\d\w*|ssse3|avx\w*|fma|asimd\w*|sve\w*)$", x))
    start = datetime.datetime.fromisoformat(first["date"])
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
             ["Run time", f"{(max(map(os.path.getmtime, files)) - start.timestamp()) / 60:.0f} min "
                          "from the first process to the last"]]
    md = ["# Benchmarks\n", "<!-- Generated by `make bench` (bench/run.sh, bench/report.py). Do not edit: rerun. -->\n",
          "quarn's real-signal transforms, each instruction-set path that this CPU runs and the default choice, "
          "beside FFTW's, KissFFT's and FFmpeg's: one thread, out of place, every power-of-two length from "
          f"2^{r.bits[0]} to 2^{r.bits[-1]}. Reproduce with `make bench`.\n",
          "![Speed against length](benchmarks.svg)\n", table(["", ""], setup, "---"),
          "Each length and sample type ran in a process of its own, which interleaved the repetitions of all its "
          "cases at random, so that a busy moment of this shared machine falls on all of them alike. Times are "
          "medians over the repetitions, ratios are of such medians, except between two builds of quarn: those "
          f"are ratios of the fastest repetitions (the same code, so what differs is the compiler's). {DASH}: a path that does not run at that "
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
    with open(f"{out}/benchmarks.md", "w") as f:
        f.write("\n".join(md) + "\n")

    bits = [b for b in README_BITS if b in r.bits]
    rows = [[f"{typ} {d}, {c[6:]}"] + [num(r.ratio(typ, d, c, "FFTW", b)) for b in bits]
            for typ in r.types for d in DIRS
            for c in (r.quarn(typ) if (typ, d) == ("float", "forward") else [DEFAULT])]
    block = ("<!-- bench:begin: generated by `make bench`, do not edit -->\n"
             "quarn's time over FFTW's (r2c and c2r, `FFTW_MEASURE`; below 1: quarn is faster), medians of "
             f"{reps} interleaved repetitions; {model} ({'with' if 'avx512f' in flags else 'no'} AVX-512), "
             f"{first['compiler']} `{first['flags']}`, {first['date'][:10]}. Every length, the other peers, "
             f"`{first['flags2']}` and memory: [docs/benchmarks.md](docs/benchmarks.md).\n\n"
             + table(["N"] + [f"2^{b}" for b in bits], rows) + "<!-- bench:end -->")
    readme, count = re.subn(r"<!-- bench:begin.*?<!-- bench:end -->", lambda _: block, open(readme_file).read(),
                            flags=re.S)
    if count != 1:
        raise SystemExit(f"report.py: {readme_file} has no bench:begin ... bench:end block")
    with open(readme_file, "w") as f:
        f.write(readme)
    r.plot(f"{out}/benchmarks.svg")
    print(f"wrote {out}/benchmarks.md, {out}/benchmarks.svg and the bench block of {readme_file}")


if __name__ == "__main__":
    main()
