"""For .ci/weewx.sh, in its sandbox: every archive record that WeeWX stored
went on the air with its own values. Prints the records, the reports and
the packets side by side; ends with status 1 on the first that does not
match.

    python3 weewx-check.py DATABASE SINCE REPORTS PACKETS

DATABASE: WeeWX's, read with sqlite3; the records checked are those after
SINCE (seconds since 1970) up to the last report's. REPORTS: each report as
seen published, a line of three: when it was seen, its time (its
record's) and its data line. PACKETS: each packet direwolf sent, a line of
two: when, and the packet. Each record must have a report of its time, sent
in a packet while no newer report was there, which decode_aprs reads back
as the record's values in the units the report sends, as far as its digits
hold them: whole values within 0.5, the rain since local midnight within
0.005 inches (9.99 at most), the pressure (altimeter, else barometer) within
0.007 inHg, as decode_aprs shows it. Written for WeeWX's METRICWX units.
"""

import math
import re
import sqlite3
import subprocess
import sys
import time

METRICWX = 0x11
MPH_PER_MPS = 3600 / 1609.344
# decode_aprs shows the pressure in inHg, at 33.86 hPa each (b09500 is 28.06).
HPA_PER_INHG = 33.86
# decode_aprs reads the speed after the direction as knots and shows miles
# per hour.
MPH_PER_KNOT = 1.15078
FIELDS = ('direction', 'wind', 'gust', 'temperature', 'rain', 'barometer', 'humidity')


def fail(message):
    sys.exit('FAIL: ' + message)


def decoded(packet):
    """The weather fields that decode_aprs shows for the packet."""
    text = subprocess.run(['decode_aprs'], input=packet + '\n', capture_output=True,
                          text=True, check=True).stdout
    values = {}
    for field in FIELDS:
        match = re.search(r'\b%s (-?[0-9.]+)' % field, text)
        values[field] = float(match.group(1)) if match else None
    if values['wind'] is not None:
        values['wind'] = round(values['wind'] / MPH_PER_KNOT)
    return values


def expected(row, rain):
    """The record's values in the report's units: degrees, miles per hour,
    degrees F, inches since midnight, inHg, per cent; None where the report
    sends no data, as for a speed or gust of 0, or for humidity below 10
    (docs/reference.md)."""
    direction, speed, gust, temperature, altimeter, barometer, humidity = row
    pressure = altimeter if altimeter is not None else barometer
    speed = None if speed is None or direction is None else speed * MPH_PER_MPS
    gust = None if gust is None else gust * MPH_PER_MPS
    calm = speed is None or speed < 0.5
    return {'direction': None if calm else direction,
            'wind': None if calm else speed,
            'gust': None if gust is None or gust < 0.5 else gust,
            'temperature': None if temperature is None else temperature * 1.8 + 32,
            'rain': None if rain is None else min(rain / 25.4, 9.99),
            'barometer': None if pressure is None else pressure / HPA_PER_INHG,
            'humidity': None if humidity is None or humidity < 9.5 else humidity}


def matches(field, want, got):
    if want is None or got is None:
        return want is None and got is None
    if field == 'rain':
        return abs(want - got) <= 0.005 + 1e-9
    if field == 'barometer':
        return abs(want - got) <= 0.007
    return abs(want - got) <= 0.5


def shown(value, digits):
    return '-' if value is None else '%.*f' % (digits, value)


def main(database, since, reports_file, packets_file):
    with open(reports_file) as lines:
        reports = [(float(seen), int(float(at)), line)
                   for seen, at, line in (text.split() for text in lines)]
    with open(packets_file) as lines:
        packets = [(float(sent), packet) for sent, packet in (text.split()
                                                                for text in lines)]
    db = sqlite3.connect('file:%s?mode=ro' % database, uri=True)
    rows = db.execute('SELECT dateTime, usUnits, windDir, windSpeed, windGust, outTemp, '
                      'altimeter, barometer, outHumidity FROM archive '
                      'WHERE dateTime > ? AND dateTime <= ? ORDER BY dateTime',
                      (int(since), reports[-1][1])).fetchall()
    if [row[0] for row in rows] != [at for _, at, _ in reports]:
        fail('records of %s, reports of %s' % ([row[0] for row in rows],
                                                [at for _, at, _ in reports]))
    print('%-8s %5s %5s %5s %5s %5s %7s %4s | %-28s | %-11s | %s' % (
        'record', 'dir', 'mph', 'gust', 'F', 'rain', 'hPa', 'hum', 'report (data line)',
        'packets, 1st', 'decode_aprs: dir, mph, gust, F, rain, inHg, hum'))
    for number, (row, (seen, at, line)) in enumerate(zip(rows, reports)):
        if row[1] != METRICWX:
            fail('the record of %d is not in METRICWX units: %#x' % (at, row[1]))
        day = time.localtime(at)
        midnight = time.mktime(day[:3] + (0, 0, 0, 0, 0, -1))
        rain = db.execute('SELECT SUM(rain) FROM archive WHERE dateTime > ? AND dateTime <= ?',
                          (midnight, at)).fetchone()[0] or 0.0
        want = expected(row[2:], rain)
        # Sent while this report was the one in the station folder.
        until = reports[number + 1][0] - 1 if number + 1 < len(reports) else math.inf
        carrying = [(sent, packet) for sent, packet in packets
                    if seen <= sent < until and packet.endswith('_' + line)]
        if not carrying:
            fail('the report %s of %d never went on the air' % (line, at))
        got = decoded(carrying[0][1])
        wrong = [field for field in FIELDS if not matches(field, want[field], got[field])]
        print('%-8s %5s %5s %5s %5s %5s %7s %4s | %-28s | %2d, +%3.0f s | %s' % (
            time.strftime('%H:%M:%S', day), shown(want['direction'], 0),
            shown(want['wind'], 1), shown(want['gust'], 1), shown(want['temperature'], 1),
            shown(want['rain'], 2), shown(row[6] if row[6] is not None else row[7], 1),
            shown(want['humidity'], 0), line, len(carrying), carrying[0][0] - at,
            ', '.join(shown(got[field], 2 if field in ('rain', 'barometer') else 0)
                      for field in FIELDS)))
        if wrong:
            fail('the packet %s does not carry the record of %d: %s' % (
                carrying[0][1], at, ', '.join('%s %s, not %s' % (field, got[field], want[field])
                                             for field in wrong)))


if __name__ == '__main__':
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
