#!/usr/bin/env python3
"""The real-stack figures, run inside the QEMU guest by `bench/run --real`.

Under `-icount shift=0` the guest's clock moves one nanosecond per guest
instruction, so every CPU time read here (schedstat, in ns) is an instruction
count, whatever the load of the machine running the guest.

Devices are merovane-vhid programs (uhid): keyboards with a real keyboard's
descriptor, and a streaming divider; and merovane-usb-gadget on the virtual
USB bus (dummy_hcd), made a device that is no divider with one or three HID
interfaces. The window is the built merovane-config, unmodified, on Qt's
offscreen platform; tick_counter is preloaded into it to count its hidapi
calls and the timer ticks of its event loop.

Environment: MEROVANE_BUILD (the build), MEROVANE_REPO (the sources),
TOOL (the window's program, to measure another build of it), PARTS (which
parts run: "usb,open,idle,plug,soak"), WINDOW (s of each CPU window, 10),
WARMUP (s, 3), NS (keyboard counts, "0,5,10,20"), USB (USB interface counts,
"1,3"), PLUGS (plug-to-shown samples, 5), SOAK (unplug/plug cycles, 1000),
OUT (a directory for results.json, optional).
"""
import glob
import json
import os
import shutil
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
USB = [int(n) for n in os.environ.get('USB', '1,3').split(',')]
PARTS = os.environ.get('PARTS', 'usb,open,idle,plug,soak').split(',')
PLUGS = int(os.environ.get('PLUGS', 5))
SOAK = int(os.environ.get('SOAK', 1000))
OUT = os.environ.get('OUT')

TOOL = os.environ.get('TOOL', BUILD + '/app/merovane-config')
VHID = BUILD + '/tests/vm/merovane-vhid'
GADGET = BUILD + '/tests/vm/merovane-usb-gadget'
COUNTER = BUILD + '/bench/libreal_tick_counter.so'
CACHED_FLOOR = BUILD + '/bench/cached_nodes_floor'
QT_FLOOR = BUILD + '/bench/qt_timer_floor'
SIMULATED_FLOOR = BUILD + '/bench/tick_cpu'
KEYBOARD_HEX = REPO + '/tests/data/descriptors/keyboard_logitech_c534.hex'
COUNTERS = '/tmp/merovane-counters'
ENUMERATIONS, DEVICE_READS, TICKS, DEVICE_OPENS, POLL_TIMEOUTS = range(5)
TICK_S = 0.050


def note(*words):
    print(*words, file=sys.stderr, flush=True)


class Device:
    """One merovane-vhid program: its node, and every line it said, timed."""

    def __init__(self, args, program=VHID):
        self.process = subprocess.Popen([program] + args, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True, bufsize=1)
        self.lines = []
        self.changed = threading.Condition()
        threading.Thread(target=self._collect, daemon=True).start()
        self.nodes = self.await_line('ready', 0).split()[1:]
        self.node = self.nodes[0]

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


def usb_interfaces(count):
    """One device on the virtual USB bus that is no divider, with `count`
    HID interfaces."""
    return Device(['--serial', 'OTHER-USB', '--product', 'Vendor Interface',
                   '--product-id', '0x2C16', '--interfaces', str(count)], program=GADGET)


def usb_power_directory(node):
    """The sysfs directory of the USB device above a hidraw node."""
    hid = os.path.realpath('/sys/class/hidraw/%s/device' % os.path.basename(node))
    return os.path.dirname(os.path.dirname(hid))


def read_text(path):
    with open(path) as f:
        return f.read().strip()


def blocked_ms(pid):
    """The time the main thread spent in uninterruptible sleep (schedstats)."""
    with open('/proc/%d/task/%d/sched' % (pid, pid)) as f:
        for line in f:
            if line.startswith('sum_block_runtime'):
                return float(line.split(':')[1])
    return float('nan')


def node_calls_per_tick(process, seconds=3):
    """System calls naming a hidraw node per tick, from an strace of the
    running program (slowed by it, so apart from the CPU window); None
    without strace."""
    if shutil.which('strace') is None:
        return None
    before = counters()[POLL_TIMEOUTS]
    traced = subprocess.run(['timeout', str(seconds), 'strace', '-f', '-qq', '-p',
                             str(process.pid)], capture_output=True, text=True)
    ticks = counters()[POLL_TIMEOUTS] - before
    calls = sum('/dev/hidraw' in line for line in traced.stderr.splitlines())
    return calls / ticks if ticks else float('nan')


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
note('guest: kernel %s, %d hidraw nodes at the start, measuring %s' %
     (os.uname().release, len(glob.glob('/dev/hidraw*')), TOOL))
# The main thread's time in uninterruptible sleep is counted from here on.
with open('/proc/sys/kernel/sched_schedstats', 'w') as f:
    f.write('1')

# The bare Qt timer, counted both by itself and by the preloaded counter: the
# counter's poll timeouts must be its ticks for the window's tick rate to hold.
floor = start([QT_FLOOR, '50'], counted=True)
w = cpu_window(floor)
end(floor)
results['qt50'] = dict(instr_per_tick=per(w, TICKS), ticks_per_s=rate(w, TICKS),
                       poll_timeouts_per_s=rate(w, POLL_TIMEOUTS))
note('qt 50 ms:', results['qt50'])

# Beside USB HID interfaces that are no divider and that nothing else opens,
# allowed to suspend after 500 ms idle: the window's pace, the share of its
# main thread's time blocked, its opens, and the device's power state.
results['usb'] = {}
for count in USB if 'usb' in PARTS else []:
    other = usb_interfaces(count)
    power = usb_power_directory(other.node)
    with open(power + '/power/autosuspend_delay_ms', 'w') as f:
        f.write('500')
    with open(power + '/power/control', 'w') as f:
        f.write('auto')
    time.sleep(2)
    alone = read_text(power + '/power/runtime_status')
    tool = start([TOOL], counted=True)
    time.sleep(WARMUP)
    t0, c0, n0, b0 = time.monotonic(), cpu_ns(tool.pid), counters(), blocked_ms(tool.pid)
    # Sampled seldom: on the guest's one vCPU each look may delay a tick.
    states = []
    while time.monotonic() < t0 + WINDOW:
        time.sleep(2)
        states.append(read_text(power + '/power/runtime_status'))
    t1, c1, n1, b1 = time.monotonic(), cpu_ns(tool.pid), counters(), blocked_ms(tool.pid)
    end(tool)
    time.sleep(2)
    after = read_text(power + '/power/runtime_status')
    other.stop()
    w = dict(seconds=t1 - t0, instructions=c1 - c0, counts=[b - a for a, b in zip(n0, n1)])
    # A tick that overruns the 50 ms leaves the next one due at once: the event
    # loop then polls without a timeout, which the counter does not see. A
    # window that opens each interface twice a tick is paced by its opens.
    ticks_per_s = max(rate(w, POLL_TIMEOUTS), rate(w, DEVICE_OPENS) / (2 * count))
    results['usb'][count] = dict(
        ticks_per_s=ticks_per_s, opens_per_s=rate(w, DEVICE_OPENS),
        blocked_share=(b1 - b0) / 1000 / w['seconds'],
        suspended_share=states.count('suspended') / len(states), last_state=states[-1],
        alone=alone, after=after)
    note('usb, %d interfaces:' % count, results['usb'][count])

# A divider open and streaming: the probe tick, against a bare 500 ms timer.
if 'open' in PARTS:
    streaming = divider()
    tool = start([TOOL], counted=True)
    w = cpu_window(tool)
    end(tool)
    streaming.stop()
    floor = start([QT_FLOOR, '500'], counted=False)
    f = cpu_window(floor)
    end(floor)
    results['open'] = dict(instr_per_probe=per(w, DEVICE_READS),
                           probes_per_s=rate(w, DEVICE_READS),
                           floor_instr_per_tick=per(f, TICKS), floor_ticks_per_s=rate(f, TICKS))
    note('device open:', results['open'])

# No divider, N keyboards: the idle tick against floor (c), the same window
# on the simulated host (memory only), and floor (b).
keyboards = []
results['idle'] = {}
for n in NS if 'idle' in PARTS else []:
    while len(keyboards) < n:
        keyboards.append(keyboard(len(keyboards)))
    tool = start([TOOL], counted=True)
    w = cpu_window(tool)
    calls = node_calls_per_tick(tool)
    end(tool)
    floor = start([CACHED_FLOOR], counted=False)
    f = cpu_window(floor)
    end(floor)
    simulated = start([SIMULATED_FLOOR, 'idle', '0', '100000', str(n)], counted=True)
    m = cpu_window(simulated)
    end(simulated)
    results['idle'][n] = dict(
        instr_per_tick=per(w, POLL_TIMEOUTS), ticks_per_s=rate(w, POLL_TIMEOUTS),
        enumerations_per_s=rate(w, ENUMERATIONS), opens_per_s=rate(w, DEVICE_OPENS),
        node_calls_per_tick=calls,
        floor_instr_per_tick=per(f, TICKS), floor_ticks_per_s=rate(f, TICKS),
        simulated_instr_per_tick=per(m, POLL_TIMEOUTS),
        simulated_ticks_per_s=rate(m, POLL_TIMEOUTS))
    note('idle N=%d:' % n, results['idle'][n])

# From here on, 10 keyboards.
if 'plug' in PARTS or 'soak' in PARTS:
    while len(keyboards) > 10:
        keyboards.pop().stop()
    while len(keyboards) < 10:
        keyboards.append(keyboard(len(keyboards)))

# Plug to shown: the window waits (50 ms pace); the divider is plugged; shown
# once the window has read its mode (the details refresh of the tick that
# found it).
delays = []
for sample in range(PLUGS if 'plug' in PARTS else 0):
    tool = start([TOOL], counted=False)
    time.sleep(WARMUP)
    plugged = divider()
    ready_at, _ = plugged.await_timed('ready', 0)
    shown_at, _ = plugged.await_timed('get-feature', 0, timeout=10)
    delays.append(shown_at - ready_at if shown_at else float('inf'))
    end(tool)
    plugged.stop()
if delays:
    results['plug_to_shown_s'] = delays
    note('plug to shown:', delays)


def soak():
    """Unplugs and plugs back a divider among 10 keyboards, SOAK times."""
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
    return dict(cycles=SOAK, found=found, phantoms=phantoms, marks=marks,
                seconds=time.monotonic() - began)


if 'soak' in PARTS and SOAK > 0:
    results['soak'] = soak()
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


def percent(share):
    return '{:.0f} %'.format(100 * share)


row('figure', 'N', 'ours', 'floor', 'ratio', 'goal', 'met')
row(*['---'] * 7)
for count, r in results['usb'].items():
    row('waiting beside USB HID interfaces (no divider)', str(count),
        '{:.1f} ticks/s, {} of the main thread blocked, {:.1f} opens/s'.format(
            r['ticks_per_s'], percent(r['blocked_share']), r['opens_per_s']),
        '20.0 ticks/s, 0 % blocked, 0 opens/s', '',
        '20.0 ticks/s held, never blocked, 0 opens/s',
        met(r['ticks_per_s'] >= 19.5 and r['blocked_share'] < 0.01 and r['opens_per_s'] == 0))
    row('', '', 'the device: {} suspended of the window, {} at its end'.format(
        percent(r['suspended_share']), r['last_state']),
        'without the window: {} before, {} after'.format(r['alone'], r['after']), '',
        'suspends while the window waits', met(r['last_state'] == 'suspended'))
for n, r in results['idle'].items():
    ratio = r['instr_per_tick'] / r['simulated_instr_per_tick']
    calls = r['node_calls_per_tick']
    row('idle tick, no divider', str(n),
        '{:,.0f} instr, {:.1f} ticks/s'.format(r['instr_per_tick'], r['ticks_per_s']),
        '{:,.0f} instr (c), {:.1f} ticks/s'.format(r['simulated_instr_per_tick'],
                                                  r['simulated_ticks_per_s']),
        '%.2f' % ratio, '<= 1.5x floor (c)', met(ratio <= 1.5))
    row('', '', '{:.2f} enumerations/s, {:.0f} opens/s, {} device-node calls/tick'.format(
        r['enumerations_per_s'], r['opens_per_s'], 'n/a' if calls is None else '%.2f' % calls),
        '{:,.0f} instr (b)'.format(r['floor_instr_per_tick']),
        '%.2f (b)' % (r['instr_per_tick'] / r['floor_instr_per_tick']),
        'no device-node call per tick', met(calls == 0) if calls is not None else '')
if results['idle']:
    top = results['idle'][max(results['idle'])]
    row('ticks per second, no divider', str(max(results['idle'])), '%.1f' % top['ticks_per_s'],
        '20.0', '', '20.0 held', met(top['ticks_per_s'] >= 19.5))
if 'open' in results:
    o = results['open']
    ratio = o['instr_per_probe'] / o['floor_instr_per_tick']
    row('probe tick, divider open', '0',
        '{:,.0f} instr, {:.1f} probes/s'.format(o['instr_per_probe'], o['probes_per_s']),
        '{:,.0f} instr (500 ms Qt timer)'.format(o['floor_instr_per_tick']), '%.2f' % ratio,
        '<= 1.5x floor', met(ratio <= 1.5))
if 'plug_to_shown_s' in results:
    d = sorted(results['plug_to_shown_s'])
    row('plug to shown', '10', 'median {:.0f} ms, worst {:.0f} ms of {}'.format(
        1000 * statistics.median(d), 1000 * d[-1], len(d)), '2 ticks = 100 ms',
        '%.2f' % (d[-1] / (2 * TICK_S)), '<= 100 ms', met(d[-1] <= 2 * TICK_S))
if 'soak' in results:
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
