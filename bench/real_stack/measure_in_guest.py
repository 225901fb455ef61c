#!/usr/bin/env python3
"""The real-stack figures, run inside the QEMU guest by `bench/run --real`.

Under `-icount shift=0` the guest's clock moves one nanosecond per guest
instruction, so every CPU time read here (schedstat, in ns) is an instruction
count, whatever the load of the machine running the guest.

Devices are merovane-vhid programs (uhid): keyboards with a real keyboard's
descriptor, and a streaming divider. The window is the built merovane-config,
unmodified, on Qt's offscreen platform; tick_counter is preloaded into it to
count its hidapi calls and the timer ticks of its event loop.

Environment: MEROVANE_BUILD (the build), MEROVANE_REPO (the sources),
WINDOW (s of each CPU window, 10), WARMUP (s, 3), NS (keyboard counts,
"0,5,10,20"), PLUGS (plug-to-shown samples, 5), SOAK (unplug/plug cycles,
1000), OUT (a directory for results.json, optional).
"""
import glob
import json
import os
import statistics
import subprocess
import sys
import threading
import time

BUILD = os.environ['MEROVANE_BUILD']
REPO = os.environ['MEROVANE_REPO']
WINDOW = float(os.environ.get('WINDOW', 10))
WARMUP = float(os.environ.get('WARMUP', 3))
NS = [int(n) for n in os.environ.get('NS', '0,5,10,20').split(',')]
PLUGS = int(os.environ.get('PLUGS', 5))
SOAK = int(os.environ.get('SOAK', 1000))
OUT = os.environ.get('OUT')

TOOL = BUILD + '/app/merovane-config'
VHID = BUILD + '/tests/vm/merovane-vhid'
COUNTER = BUILD + '/bench/libreal_tick_counter.so'
CACHED_FLOOR = BUILD + '/bench/cached_nodes_floor'
QT_FLOOR = BUILD + '/bench/qt_timer_floor'
KEYBOARD_HEX = REPO + '/tests/data/descriptors/keyboard_logitech_c534.hex'
COUNTERS = '/tmp/merovane-counters'
ENUMERATIONS, DEVICE_READS, TICKS, DEVICE_OPENS, POLL_TIMEOUTS = range(5)
TICK_S = 0.050


def note(*words):
    print(*words, file=sys.stderr, flush=True)


class Device:
    """One merovane-vhid program: its node, and every line it said, timed."""

    def __init__(self, args):
        self.process = subprocess.Popen([VHID] + args, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True, bufsize=1)
        self.lines = []
        self.changed = threading.Condition()
        threading.Thread(target=self._collect, daemon=True).start()
        self.node = self.await_line('ready', 0).split()[1]

    def _collect(self):
        for line in self.process.stdout:
            with self.changed:
                self.lines.append((time.monotonic(), line.strip()))
                self.changed.notify_all()
        with self.changed:
            self.lines.append((time.monotonic(), 'ended'))
            self.changed.notify_all()

    def await_line(self, prefix, start, timeout=30):
        """The first line from index `start` on that starts with `prefix`,
        with its time; None when none comes within `timeout` seconds."""
        return self.await_timed(prefix, start, timeout)[1]

    def await_timed(self, prefix, start, timeout=30):
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                for at, line in self.lines[start:]:
                    if line.startswith(prefix):
                        return at, line
                    if line == 'ended':
                        raise SystemExit('merovane-vhid ended: ' + repr(self.lines[-5:]))
                left = deadline - time.monotonic()
                if left <= 0:
                    return None, None
                self.changed.wait(left)

    def command(self, line, answer):
        start = len(self.lines)
        self.process.stdin.write(line + '\n')
        self.process.stdin.flush()
        return self.await_timed(answer, start)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def keyboard(index):
    return Device(['--serial', 'KB-%02d' % index, '--name', 'Logitech USB Receiver',
                   '--vendor', '0x046D', '--product', '0xC534', '--version', '0x2901',
                   '--input-length', '9', '--feature-length', '0', '--silent',
                   '--descriptor-hex', KEYBOARD_HEX])


def divider():
    return Device(['--serial', 'MV-BENCH', '--name', 'Merovane test divider', '--mode', '2'])


def counters():
    try:
        with open(COUNTERS, 'rb') as f:
            raw = f.read(40)
        return [int.from_bytes(raw[i:i + 8], 'little') for i in range(0, 40, 8)]
    except OSError:
        return [0] * 5


def cpu_ns(pid):
    total = 0
    for task in glob.glob('/proc/%d/task/*/schedstat' % pid):
        try:
            with open(task) as f:
                total += int(f.read().split()[0])
        except OSError:
            pass
    return total


def rss_kib(pid):
    with open('/proc/%d/status' % pid) as f:
        for line in f:
            if line.startswith('VmRSS:'):
                return int(line.split()[1])
    return 0


def descriptors(pid):
    """Every descriptor's target, e.g. '/dev/hidraw3' or '/dev/hidraw3 (deleted)'."""
    targets = []
    for fd in glob.glob('/proc/%d/fd/*' % pid):
        try:
            targets.append(os.readlink(fd))
        except OSError:
            pass
    return targets


def hidraw_descriptors(pid):
    return sorted(t for t in descriptors(pid) if t.startswith('/dev/hidraw'))


def start(argv, counted):
    try:
        os.unlink(COUNTERS)
    except OSError:
        pass
    env = dict(os.environ, MEROVANE_COUNTERS=COUNTERS, QT_QPA_PLATFORM='offscreen')
    if counted:
        env['LD_PRELOAD'] = COUNTER
    return subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def end(process):
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def cpu_window(process):
    """CPU (ns = instructions) and counter changes over WINDOW seconds."""
    time.sleep(WARMUP)
    t0, c0, n0 = time.monotonic(), cpu_ns(process.pid), counters()
    time.sleep(WINDOW)
    t1, c1, n1 = time.monotonic(), cpu_ns(process.pid), counters()
    return dict(seconds=t1 - t0, instructions=c1 - c0,
                counts=[b - a for a, b in zip(n0, n1)])


def per(window, counter):
    count = window['counts'][counter]
    return window['instructions'] / count if count else float('nan')


def rate(window, counter):
    return window['counts'][counter] / window['seconds']


results = {}
note('guest: kernel %s, %d hidraw nodes at the start' % (os.uname().release,
                                                         len(glob.glob('/dev/hidraw*'))))

# The bare Qt timer, counted both by itself and by the preloaded counter: the
# counter's poll timeouts must be its ticks for the window's tick rate to hold.
floor = start([QT_FLOOR, '50'], counted=True)
w = cpu_window(floor)
end(floor)
results['qt50'] = dict(instr_per_tick=per(w, TICKS), ticks_per_s=rate(w, TICKS),
                       poll_timeouts_per_s=rate(w, POLL_TIMEOUTS))
note('qt 50 ms:', results['qt50'])

# A divider open and streaming: the probe tick, against a bare 500 ms timer.
streaming = divider()
tool = start([TOOL], counted=True)
w = cpu_window(tool)
end(tool)
streaming.stop()
floor = start([QT_FLOOR, '500'], counted=False)
f = cpu_window(floor)
end(floor)
results['open'] = dict(instr_per_probe=per(w, DEVICE_READS), probes_per_s=rate(w, DEVICE_READS),
                       floor_instr_per_tick=per(f, TICKS), floor_ticks_per_s=rate(f, TICKS))
note('device open:', results['open'])

# No divider, N keyboards: the idle tick against floor (b).
keyboards = []
results['idle'] = {}
for n in NS:
    while len(keyboards) < n:
        keyboards.append(keyboard(len(keyboards)))
    tool = start([TOOL], counted=True)
    w = cpu_window(tool)
    end(tool)
    floor = start([CACHED_FLOOR], counted=False)
    f = cpu_window(floor)
    end(floor)
    results['idle'][n] = dict(
        instr_per_tick=per(w, POLL_TIMEOUTS), ticks_per_s=rate(w, POLL_TIMEOUTS),
        enumerations_per_s=rate(w, ENUMERATIONS), opens_per_s=rate(w, DEVICE_OPENS),
        floor_instr_per_tick=per(f, TICKS), floor_ticks_per_s=rate(f, TICKS))
    note('idle N=%d:' % n, results['idle'][n])

# From here on, 10 keyboards.
while len(keyboards) > 10:
    keyboards.pop().stop()
while len(keyboards) < 10:
    keyboards.append(keyboard(len(keyboards)))

# Plug to shown: the window waits (50 ms pace); the divider is plugged; shown
# once the window has read its mode (the details refresh of the tick that
# found it).
delays = []
for sample in range(PLUGS):
    tool = start([TOOL], counted=False)
    time.sleep(WARMUP)
    plugged = divider()
    ready_at, _ = plugged.await_timed('ready', 0)
    shown_at, _ = plugged.await_timed('get-feature', 0, timeout=10)
    delays.append(shown_at - ready_at if shown_at else float('inf'))
    end(tool)
    plugged.stop()
results['plug_to_shown_s'] = delays
note('plug to shown:', delays)

# The soak: unplug and plug back a divider among 10 keyboards, SOAK times.
tool = start([TOOL], counted=False)
soaked = divider()
if soaked.await_timed('get-feature', 0, timeout=10)[0] is None:
    raise SystemExit('the soak\'s divider was not found at the start')
found = phantoms = 0
marks = {}
began = time.monotonic()
for cycle in range(1, SOAK + 1):
    soaked.command('unplug', 'unplugged')
    # The window lets go of the gone device (its probe fails) ...
    deadline = time.monotonic() + 5
    while any('(deleted)' in t for t in hidraw_descriptors(tool.pid)):
        if time.monotonic() > deadline:
            break
        time.sleep(0.02)
    plugged_at = len(soaked.lines)
    node = soaked.command('plug', 'ready')[1].split()[1]
    # ... and shows the device plugged back: its mode read ...
    if soaked.await_timed('get-feature', plugged_at, timeout=10)[0] is not None:
        found += 1
    # ... through exactly the two handles of its connection, on its node.
    time.sleep(0.02)
    if hidraw_descriptors(tool.pid) != [node, node]:
        phantoms += 1
    if cycle in (10, SOAK) or cycle % 100 == 0:
        marks[cycle] = dict(descriptors=len(descriptors(tool.pid)), rss_kib=rss_kib(tool.pid),
                            targets=sorted(descriptors(tool.pid)))
    if cycle % 50 == 0:
        note('soak: %d cycles, %d found, %d phantoms, %.0f s, %s' %
             (cycle, found, phantoms, time.monotonic() - began, marks.get(cycle)))
end(tool)
soaked.stop()
results['soak'] = dict(cycles=SOAK, found=found, phantoms=phantoms, marks=marks,
                       seconds=time.monotonic() - began)
note('soak:', results['soak'])
for k in keyboards:
    k.stop()
if OUT:
    with open(OUT + '/results.json', 'w') as f:
        json.dump(results, f, indent=1)


def row(*cells):
    print('| ' + ' | '.join(cells) + ' |')


def met(ok):
    return 'yes' if ok else 'NO'


row('figure', 'N', 'ours', 'floor', 'ratio', 'goal', 'met')
row(*['---'] * 7)
for n, r in results['idle'].items():
    ratio = r['instr_per_tick'] / r['floor_instr_per_tick']
    row('idle tick, no divider', str(n),
        '{:,.0f} instr, {:.1f} ticks/s'.format(r['instr_per_tick'], r['ticks_per_s']),
        '{:,.0f} instr (b)'.format(r['floor_instr_per_tick']), '%.2f' % ratio,
        '<= 1.5x floor (b)', met(ratio <= 1.5))
    row('', '', '{:.2f} enumerations/s, {:.0f} opens/s'.format(r['enumerations_per_s'],
                                                               r['opens_per_s']),
        '{:.1f} ticks/s'.format(r['floor_ticks_per_s']), '', '', '')
top = results['idle'][max(results['idle'])]
row('ticks per second, no divider', str(max(results['idle'])), '%.1f' % top['ticks_per_s'],
    '20.0', '', '20.0 held', met(top['ticks_per_s'] >= 19.5))
o = results['open']
ratio = o['instr_per_probe'] / o['floor_instr_per_tick']
row('probe tick, divider open', '0',
    '{:,.0f} instr, {:.1f} probes/s'.format(o['instr_per_probe'], o['probes_per_s']),
    '{:,.0f} instr (500 ms Qt timer)'.format(o['floor_instr_per_tick']), '%.2f' % ratio,
    '<= 1.5x floor', met(ratio <= 1.5))
d = sorted(results['plug_to_shown_s'])
row('plug to shown', '10', 'median {:.0f} ms, worst {:.0f} ms of {}'.format(
    1000 * statistics.median(d), 1000 * d[-1], len(d)), '2 ticks = 100 ms',
    '%.2f' % (d[-1] / (2 * TICK_S)), '<= 100 ms', met(d[-1] <= 2 * TICK_S))
k = results['soak']
first, last = k['marks'].get(10, {}), k['marks'].get(k['cycles'], {})
row('soak: unplug, plug back', '10', '{}/{} found, {} phantoms'.format(
    k['found'], k['cycles'], k['phantoms']), '', '', 'all found, 0 phantoms',
    met(k['found'] == k['cycles'] and k['phantoms'] == 0))
row('', '', 'descriptors {} -> {}, RSS {} -> {} KiB (cycle 10 -> {})'.format(
    first.get('descriptors'), last.get('descriptors'), first.get('rss_kib'),
    last.get('rss_kib'), k['cycles']), '', '', 'flat',
    met(first.get('descriptors') == last.get('descriptors') and
        last.get('rss_kib', 0) <= first.get('rss_kib', 0) + 256))
row('', '', 'RSS KiB by cycle: ' + ', '.join(
    '{}: {}'.format(c, m['rss_kib']) for c, m in sorted(k['marks'].items())), '', '', '', '')
q = results['qt50']
row('check: bare 50 ms Qt timer', '0', '{:.1f} poll timeouts/s'.format(q['poll_timeouts_per_s']),
    '{:.1f} ticks/s, {:,.0f} instr'.format(q['ticks_per_s'], q['instr_per_tick']), '', '', '')
