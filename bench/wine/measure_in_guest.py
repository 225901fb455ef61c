#!/usr/bin/env python3
"""The Wine figures, run inside the QEMU guest by `bench/run --wine`.

Under `-icount shift=0` the guest's clock moves one nanosecond per guest
instruction, so every CPU time read here (schedstat, in ns) is an instruction
count. A Windows program's tick costs more than its own process: wineserver
answers its calls and Wine's device process (winedevice.exe) its opens, so
the figure is the CPU of every task in the guest (but this script) over the
measured stretch, divided by the program's ticks in it; and the same less the
guest's background (its CPU over as long with no program running).

Programs (each `PROGRAM.exe WARMUP WINDOW FILE`, see counted_loop.h): the
bare 50 ms SetTimer window; the tool's window on the simulated host with no
device (simulated_window.exe: the window's own cost, no system call of the
host); the tool's window (counted_window.exe) as built now, and, when given,
the same built from an earlier commit. Devices are
merovane-vhid keyboards on /dev/uhid, which Wine's HID bus serves.

Environment: MEROVANE_BUILD (the Windows bench build), MEROVANE_BEFORE (the
earlier build, optional), MEROVANE_VHID, MEROVANE_REPO, WINEPREFIX,
WINDOW (10), WARMUP (5), NS ("0,5,10"), SETTLE (30: s after Wine starts and after each plug).
"""
import glob
import os
import shutil
import subprocess
import sys
import time

BUILD = os.environ['MEROVANE_BUILD']
BEFORE = os.environ.get('MEROVANE_BEFORE')
VHID = os.environ['MEROVANE_VHID']
REPO = os.environ['MEROVANE_REPO']
WINDOW = float(os.environ.get('WINDOW', 10))
WARMUP = float(os.environ.get('WARMUP', 5))
NS = [int(n) for n in os.environ.get('NS', '0,5,10').split(',')]
SETTLE = float(os.environ.get('SETTLE', 30))
KEYBOARD_HEX = REPO + '/tests/data/descriptors/keyboard_logitech_c534.hex'
OUT = '/tmp/wine-bench-stretch.txt'


def note(*words):
    print(*words, file=sys.stderr, flush=True)


def quiet(argv, **kwargs):
    return subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, **kwargs)


def cpu_by_task():
    """CPU of every task in the guest but this script's, in ns, by task."""
    tasks = {}
    me = os.getpid()
    for task in glob.glob('/proc/[0-9]*/task/*/schedstat'):
        if task.startswith('/proc/%d/' % me):
            continue
        try:
            with open(task) as f:
                tasks[task] = int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return tasks


def cpu_since(before):
    """CPU since `before` of the tasks there now (a task that ended since is
    left out; one started since counts whole)."""
    return sum(ns - before.get(task, 0) for task, ns in cpu_by_task().items())


def await_line(prefix, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            with open(OUT) as f:
                for line in f:
                    if line.startswith(prefix):
                        return line.split()
        except OSError:
            pass
        time.sleep(0.02)
    raise SystemExit('no "%s" from the program' % prefix)


def idle():
    """The guest's CPU per second with no program running: its background."""
    time.sleep(WARMUP)
    c0 = cpu_by_task()
    time.sleep(WINDOW)
    return cpu_since(c0) / WINDOW


def measure(program):
    """Instructions per tick, ticks per second, walks and opens per second."""
    try:
        os.unlink(OUT)
    except OSError:
        pass
    process = quiet(['wine', program, str(WARMUP), str(WINDOW), 'Z:' + OUT.replace('/', '\\')])
    await_line('start', WARMUP + 120)
    t0, c0 = time.monotonic(), cpu_by_task()
    words = await_line('ticks', WINDOW + 60)
    t1, used = time.monotonic(), cpu_since(c0)
    process.wait(60)
    # The program's last tasks end before the next stretch.
    time.sleep(2)
    ticks, walks, opens = int(words[1]), int(words[3]), int(words[5])
    return dict(instructions=used / max(ticks, 1), total=used, ticks=ticks / WINDOW,
                walks=walks / WINDOW if walks >= 0 else None,
                opens=opens / WINDOW if opens >= 0 else None, seconds=t1 - t0)


def start_wine():
    subprocess.run(['/lib/systemd/systemd-udevd', '--daemon'], check=True)
    subprocess.run(['udevadm', 'trigger', '--action=add'], check=False)
    quiet(['Xvfb', ':7', '-screen', '0', '1024x768x24', '-nolisten', 'tcp'])
    os.environ['DISPLAY'] = ':7'
    subprocess.run(['wineserver', '-p'], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    subprocess.run(['wine', 'wineboot'], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    quiet(['wine', 'explorer.exe', '/desktop'])
    time.sleep(10)


def keyboard(index):
    device = subprocess.Popen(
        [VHID, '--serial', 'KB-%02d' % index, '--name', 'Logitech USB Receiver', '--vendor',
         '0x046D', '--product', '0xC534', '--version', '0x2901', '--input-length', '9',
         '--feature-length', '0', '--silent', '--descriptor-hex', KEYBOARD_HEX],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    for line in device.stdout:
        if line.startswith('ready'):
            return device
    raise SystemExit('merovane-vhid ended')


os.environ['WINEDEBUG'] = '-all'
os.makedirs(os.environ['HOME'], exist_ok=True)
# Wine maps programs from the guest's own /tmp, not from the shared build.
programs = [('bare 50 ms SetTimer window', BUILD + '/bench/wine/timer_window.exe'),
            ('the window on the simulated host', BUILD + '/bench/wine/simulated_window.exe')]
if BEFORE:
    programs.append(('merovane-config.exe before', BEFORE + '/bench/wine/counted_window.exe'))
programs.append(('merovane-config.exe now', BUILD + '/bench/wine/counted_window.exe'))
local = []
for name, path in programs:
    folder = '/tmp/wine-bench-%d' % len(local)
    os.makedirs(folder, exist_ok=True)
    shutil.copy(path, folder)
    local.append((name, folder + '/' + os.path.basename(path)))

start_wine()
note('guest: kernel %s, Wine up after %.0f s' % (os.uname().release, time.monotonic()))
time.sleep(SETTLE)  # Wine's services finish starting
rows = []
keyboards = []
for n in NS:
    while len(keyboards) < n:
        keyboards.append(keyboard(len(keyboards)))
    time.sleep(SETTLE)  # Wine's bus learns of them through udev and starts them
    background = idle()
    note('N=%d background: %.0f instructions/s' % (n, background))
    # Each program twice, the order turned round the second time; the lower
    # of the two is kept (background work of Wine's own only adds).
    figures = {}
    for order in (local, local[::-1]):
        for name, program in order:
            figure = measure(program)
            note('N=%d %s: %s' % (n, name, figure))
            if name not in figures or figure['instructions'] < figures[name]['instructions']:
                figures[name] = figure
    for name, _ in local:
        rows.append((n, name, figures[name], background))

print('| N | program | instructions per tick, all of the guest | without its background '
      '| ticks/s | SetupAPI walks/s | HID opens/s |')
print('| --- | --- | --- | --- | --- | --- | --- |')
floor = {}
for n, name, figure, background in rows:
    own = figure['instructions'] - background / figure['ticks']
    if name.startswith('bare'):
        floor[n] = (figure['instructions'], own)
    rate = lambda value: '-' if value is None else '%.1f' % value
    print('| %d | %s | %s (%.2f x bare) | %s (%.2f x bare) | %.1f | %s | %s |' % (
        n, name, '{:,.0f}'.format(figure['instructions']), figure['instructions'] / floor[n][0],
        '{:,.0f}'.format(own), own / floor[n][1], figure['ticks'], rate(figure['walks']),
        rate(figure['opens'])))
for device in keyboards:
    device.stdin.close()
    device.wait(10)
subprocess.run(['wineserver', '-k'], check=False)
