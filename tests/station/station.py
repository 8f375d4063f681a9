"""A simulated Fine Offset WH1080 weather station, for pywws in tests.

    station.py serve SOCKET [--mode MODE] [--period MINUTES] [--history N]
                            [KEY=VALUE ...]
    station.py set SOCKET KEY=VALUE ...
    station.py show SOCKET

serve: holds the station's memory and serves it on the Unix socket
SOCKET, with permissions MODE (octal, 0600 unless given), until SIGTERM
or SIGINT; stopping it unplugs the station (the memory goes with it).
The socket appears, under its name, only once it answers. The station
starts with a logging interval of MINUTES (30, as from the factory),
N records already logged one interval apart (none unless given), and
the weather of the KEY=VALUEs, the rest as in DEFAULTS below.
set: new weather, which the station takes at its next sensor update
(every 48 s, as the outdoor sensors send), as a real one would.
show: the station's state: interval, records, when the next comes.

KEYs: wind_ave, wind_gust (m/s), wind_dir (sixteenths of a turn from
north, 0-15), temp_out, temp_in (degrees C), hum_out, hum_in (%),
abs_pressure (hPa), rain (the rain counter, mm; the station counts
0.3 mm steps), lost (1: no contact with the outdoor sensors).

pywws reaches the station through usb1.py and libusb1.py beside this
file: run pywws's commands with this folder on PYTHONPATH and
BRINOK_STATION_SOCKET=SOCKET. The memory is laid out as pywws's
weatherstation.py reads it: a fixed block of 256 bytes (settings,
pointer, clock, pressures), then a circular buffer of 16-byte records,
the one at the pointer being the current reading. The station's clocks
run on real time from the start of serve: a sensor update every 48 s,
and every minute the current record's delay (minutes since the last
record) grows, until it reaches the interval and the pointer moves on.
Minima and maxima are not kept (their bytes stay 0xff), nor alarms.
"""

import argparse
import os
import signal
import socket
import socketserver
import sys
import threading
import time

FIXED_SIZE = 0x100
RECORD_SIZE = 16
MEMORY_SIZE = 0x10000
MAX_RECORDS = (MEMORY_SIZE - FIXED_SIZE) // RECORD_SIZE
SENSOR_PERIOD = 48.0
ACK_DELAY = 1.0  # seconds the station takes to notice a write
DEFAULTS = {'wind_ave': 0.0, 'wind_gust': 0.0, 'wind_dir': 0,
            'temp_out': 10.0, 'hum_out': 50, 'abs_pressure': 1013.0,
            'rain': 0.0, 'temp_in': 20.0, 'hum_in': 40, 'lost': 0}


def u16(value):
    return value.to_bytes(2, 'little')


def temperature(celsius):
    # Tenths of a degree, sign and magnitude; 0xffff would read as none.
    tenths = round(celsius * 10)
    if abs(tenths) >= 0x7fff:
        raise ValueError('temperature out of range: %s' % celsius)
    return u16(abs(tenths) | (0x8000 if tenths < 0 else 0))


def bcd(value):
    return value // 10 << 4 | value % 10


def encode(weather, delay):
    """Return the 16 bytes of a record; ValueError if a value does not fit."""
    w = weather
    ave, gust = round(w['wind_ave'] * 10), round(w['wind_gust'] * 10)
    if not (0 <= ave < 0x1000 and 0 <= gust < 0x1000
            and 0 <= w['wind_dir'] < 16):
        raise ValueError('wind out of range')
    record = (bytes([delay, w['hum_in']]) + temperature(w['temp_in'])
              + bytes([w['hum_out']]) + temperature(w['temp_out'])
              + u16(round(w['abs_pressure'] * 10))
              # Wind in tenths of m/s: low bytes, then both high nibbles.
              + bytes([ave & 0xff, gust & 0xff, ave >> 8 | gust >> 8 << 4,
                       w['wind_dir']])
              + u16(round(w['rain'] / 0.3) % 0x10000)
              + bytes([0x40 if w['lost'] else 0]))
    if w['lost']:
        # The base station still measures indoors and the pressure.
        record = (record[:4] + b'\xff' * 3 + record[7:9] + b'\xff' * 4
                  + record[13:])
    return record


def parse_weather(pairs):
    weather = {}
    for pair in pairs:
        key, sep, value = pair.partition('=')
        if key not in DEFAULTS or not sep:
            raise ValueError('not KEY=VALUE with a known KEY: %s' % pair)
        try:
            weather[key] = type(DEFAULTS[key])(value)
            encode(dict(DEFAULTS, **{key: weather[key]}), 0)
        except (ValueError, OverflowError) as ex:
            raise ValueError('%s: %s' % (pair, ex)) from None
    return weather


class Station:
    """The station's memory and clocks; advance() before each use."""

    def __init__(self, period, history, weather):
        self.lock = threading.Lock()
        self.weather = dict(DEFAULTS, **weather)
        self.pending = {}
        self.memory = bytearray(b'\xff' * MEMORY_SIZE)
        m = self.memory
        m[0:2] = b'\x55\xaa'  # the magic number pywws checks
        # Interval; units hPa and m/s; display and alarm settings; time
        # zone; data_changed; then the record count and the pointer.
        pos = FIXED_SIZE + history * RECORD_SIZE
        m[16:32] = (bytes([period, 0x20, 0x01, 0x41, 0x09, 0, 0, 0, 0, 0, 0])
                    + u16(history + 1) + b'\x00' + u16(pos))
        m[36:38] = u16(0)  # lux_wm2_coeff: 0 says a 1080, no solar sensor
        m[48:97] = bytes(49)  # alarm thresholds, all 0 (the alarms are off)
        for address in range(FIXED_SIZE, pos, RECORD_SIZE):
            m[address:address + RECORD_SIZE] = encode(self.weather, period)
        m[pos:pos + RECORD_SIZE] = encode(self.weather, 0)
        pressure = u16(round(self.weather['abs_pressure'] * 10))
        m[32:36] = pressure + pressure
        self.start = time.monotonic()
        self.sensor_updates = self.minutes = 0
        self.ack_at = None

    def number(self, address):
        return int.from_bytes(self.memory[address:address + 2], 'little')

    def advance(self):
        """Bring the memory up to now: each sensor update and minute past."""
        now = time.monotonic()
        while True:
            sensors = self.start + (self.sensor_updates + 1) * SENSOR_PERIOD
            minute = self.start + (self.minutes + 1) * 60
            if min(sensors, minute) > now:
                break
            if sensors <= minute:
                self.sensor_updates += 1
                self.update_sensors()
            else:
                self.minutes += 1
                self.next_minute()
        if self.ack_at is not None and now >= self.ack_at:
            # Settings are read from memory as they are used, so the
            # station has only to say it has taken them.
            self.memory[26] = 0
            self.ack_at = None
        # A radio-controlled clock: local time to the minute, in BCD.
        t = time.localtime()
        self.memory[43:48] = bytes(bcd(x) for x in (
            t.tm_year % 100, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min))

    def update_sensors(self):
        self.weather.update(self.pending)
        self.pending = {}
        pos = self.number(30)
        self.memory[pos + 1:pos + RECORD_SIZE] = encode(self.weather, 0)[1:]
        # The relative pressure follows the absolute one, keeping the
        # offset the operator set (pywws-setweatherstation -p).
        absolute = round(self.weather['abs_pressure'] * 10)
        relative = self.number(32) + absolute - self.number(34)
        self.memory[32:36] = u16(relative % 0x10000) + u16(absolute)

    def next_minute(self):
        pos = self.number(30)
        delay = self.memory[pos] + 1
        self.memory[pos] = delay
        if delay < max(self.memory[16], 1):
            return
        pos += RECORD_SIZE
        if pos >= MEMORY_SIZE:
            pos = FIXED_SIZE
        self.memory[pos:pos + RECORD_SIZE] = encode(self.weather, 0)
        self.memory[27:29] = u16(min(self.number(27) + 1, MAX_RECORDS))
        self.memory[30:32] = u16(pos)

    def command(self, command):
        """Answer one 8-byte USB command as pywws's CUSBDrive sends it."""
        address = command[1] << 8 | command[2]
        if command[0] == command[4] == 0xA1:  # read 32 bytes
            return bytes(self.memory[address:address + 32])
        if command[0] == command[4] == 0xA2:  # write the byte command[5]
            self.memory[address] = command[5]
            if address == 26 and command[5] == 0xAA:
                self.ack_at = time.monotonic() + ACK_DELAY
            return b'\xa5' * 8
        return b''  # no answer: pywws's read times out

    def describe(self):
        pos = self.number(30)
        period, delay = max(self.memory[16], 1), self.memory[pos]
        minute = self.start + (self.minutes + 1) * 60 - time.monotonic()
        sensors = (self.start + (self.sensor_updates + 1) * SENSOR_PERIOD
                   - time.monotonic())
        return ('interval %d min, %d records, current at %04x, delay %d min,'
                ' next record in %.0f s, next sensor update in %.0f s; %s' % (
                    period, self.number(27), pos, delay,
                    minute + 60 * (period - delay - 1), sensors,
                    ' '.join('%s=%s' % x for x in self.weather.items())))


class Handler(socketserver.StreamRequestHandler):
    # The first line says who is calling: pywws's USB port, or set, show.
    def handle(self):
        station = self.server.station
        kind, *args = self.rfile.readline().decode('ascii', 'replace').split()
        if kind == 'usb':
            while True:
                command = self.rfile.read(8)
                if len(command) < 8:
                    return
                with station.lock:
                    station.advance()
                    answer = station.command(command)
                self.wfile.write(answer)
        with station.lock:
            station.advance()
            if kind == 'set':
                try:
                    station.pending.update(parse_weather(args))
                    reply = 'taken at the next sensor update'
                except ValueError as ex:
                    reply = 'error: %s' % ex
            elif kind == 'show':
                reply = station.describe()
            else:
                reply = 'error: unknown request %s' % kind
        self.wfile.write(reply.encode() + b'\n')


def serve(path, mode, station):
    # Bound and made accessible under another name, then renamed: whoever
    # sees the socket can connect.
    temporary = '%s.%d' % (path, os.getpid())
    server = socketserver.ThreadingUnixStreamServer(temporary, Handler)
    server.daemon_threads = True
    server.station = station
    os.chmod(temporary, mode)
    os.rename(temporary, path)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        # Gone before the process ends: a new open finds no device.
        os.unlink(path)


def ask(path, request):
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as port:
        port.connect(path)
        port.sendall(request.encode() + b'\n')
        reply = port.makefile().read().strip()
    print(reply)
    return 1 if reply.startswith('error') else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('action', choices=('serve', 'set', 'show'))
    parser.add_argument('socket')
    parser.add_argument('weather', nargs='*', metavar='KEY=VALUE')
    parser.add_argument('--mode', type=lambda x: int(x, 8), default=0o600)
    parser.add_argument('--period', type=int, default=30)
    parser.add_argument('--history', type=int, default=0)
    args = parser.parse_intermixed_args()
    if args.action == 'serve':
        if not 0 <= args.history < MAX_RECORDS:
            parser.error('--history: 0 to %d' % (MAX_RECORDS - 1))
        if not 1 <= args.period <= 255:
            parser.error('--period: 1 to 255 minutes')
        try:
            weather = parse_weather(args.weather)
        except ValueError as ex:
            parser.error(str(ex))
        serve(args.socket, args.mode, Station(args.period, args.history,
                                              weather))
        return 0
    return ask(args.socket, ' '.join([args.action] + args.weather))


if __name__ == '__main__':
    sys.exit(main())
