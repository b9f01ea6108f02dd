#!/usr/bin/env python3
"""Idle cost of the running main-CPU program, and its tick during an update.

Usage: bench/ui_idle.py [BUILD_DIR]   (default: build)

Runs BUILD_DIR/ZB7152K from a temporary folder (its own INI, COM1 mapped to
the radio simulator's pseudo-terminal) with QT_QPA_PLATFORM=offscreen, and
prints a table:
  start -> Ready text   time from starting the process to the Ready tip
  CPU at Ready          CPU time of the process over 10 s, % of one core
  resident memory       VmRSS at Ready
  tick p50 / p99        tick duration during one complete update against
                        the simulator, ticks with protocol pauses (the 100 ms
                        input flushes) left out
Uses the window's hooks ZB_UI_TRACE and ZB_UI_COMMAND_FIFO.
"""
import json, os, re, shutil, subprocess, sys, tempfile, time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
prog_src = os.path.join(build, "ZB7152K")
sim_bin = os.path.join(build, "radiosim")
tmp = tempfile.mkdtemp(prefix="zb-bench-")
procs = []


def clk():
    return os.sysconf("SC_CLK_TCK")


def cpu_ticks(pid):
    f = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return int(f[11]) + int(f[12])  # utime + stime


def rss_kb(pid):
    m = re.search(r"VmRSS:\s+(\d+)", open(f"/proc/{pid}/status").read())
    return int(m.group(1))


def trace_lines(path):
    try:
        return [l.split() for l in open(path) if l.strip()]
    except FileNotFoundError:
        return []


def wait_for(pred, limit):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        v = pred()
        if v:
            return v
        time.sleep(0.005)
    return None


try:
    prog = os.path.join(tmp, "ZB7152K")
    shutil.copy(prog_src, prog)
    link = os.path.join(tmp, "radio")
    report = os.path.join(tmp, "report.json")
    sim = subprocess.Popen([sim_bin, "--serial", link, "--report", report, "--quiet"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    procs.append(sim)
    wait_for(lambda: os.path.exists(link), 5)
    with open(os.path.join(tmp, "ZB7152K.INI"), "w") as f:
        f.write(f"[Global]\nPortSel=0\nComPort=1\nTcp_IP=127.0.0.1\n[Ports]\nCOM1={link}\n")
    fifo = os.path.join(tmp, "cmd")
    os.mkfifo(fifo)
    trace = os.path.join(tmp, "trace")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", ZB_UI_TRACE=trace,
               ZB_UI_COMMAND_FIFO=fifo, ZB_UI_ERRORBOX_LOG=os.path.join(tmp, "boxes"),
               XDG_RUNTIME_DIR=tmp)
    t0 = time.monotonic()
    app = subprocess.Popen([prog], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    procs.append(app)
    ready = wait_for(lambda: [l for l in trace_lines(trace) if l[1:] == ["tip", "6"]], 10)
    start_ms = int(ready[0][0]) - t0 * 1000 if ready else float("nan")

    time.sleep(1)
    c0, w0 = cpu_ticks(app.pid), time.monotonic()
    time.sleep(10)
    c1, w1 = cpu_ticks(app.pid), time.monotonic()
    cpu_pct = 100.0 * (c1 - c0) / clk() / (w1 - w0)
    rss = rss_kb(app.pid) / 1024.0

    cmd = open(fifo, "w", buffering=1)
    cmd.write("stats-reset\nok\n")
    done = wait_for(lambda: len([l for l in trace_lines(trace) if l[1:] == ["tip", "6"]]) >= 2, 180)
    stats_path = os.path.join(tmp, "stats")
    cmd.write(f"stats {stats_path}\n")
    wait_for(lambda: os.path.exists(stats_path), 5)
    stats = dict(l.split() for l in open(stats_path))
    cmd.write("exit\n")
    app.wait(10)
    sim.terminate()
    sim.wait(10)
    verdict = json.loads(open(report).readline()) if os.path.exists(report) else {}

    rows = [
        ("start -> Ready text", f"{start_ms:.0f} ms", "<= 300 ms"),
        ("CPU at Ready (10 s)", f"{cpu_pct:.2f} % of a core", "<= 3 %"),
        ("resident memory", f"{rss:.1f} MB", "<= 80 MB"),
        ("tick p50 during update", f"{int(stats['p50_us']) / 1000:.3f} ms", ""),
        ("tick p99 during update", f"{int(stats['p99_us']) / 1000:.3f} ms", "<= 2 ms"),
        ("ticks measured", stats["ticks"], ""),
        ("update", "passed" if verdict.get("passed") and done else "FAILED", ""),
    ]
    print(f"{'measure':<26}{'value':<22}target")
    for r in rows:
        print(f"{r[0]:<26}{r[1]:<22}{r[2]}")
finally:
    for p in procs:
        if p.poll() is None:
            p.kill()
    shutil.rmtree(tmp, ignore_errors=True)
