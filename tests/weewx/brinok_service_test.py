"""The weather log that brinok's WeeWX service (contrib/weewx) writes, checked
against WeeWX's own units and database: one table of archive records of US,
METRIC and METRICWX stations, each stored in a database after the rain
stored before it, handled some seconds after its time, and what the
station folder and WeeWX's log then hold.

CTest runs it (tests/CMakeLists.txt) with Debian's python3 and WeeWX's
source in BRINOK_WEEWX_SOURCE. Without them, or without python3-configobj,
it skips (exit status 77), but fails where CI=true, as CI installs them.
By hand, from the repository's root:

    BRINOK_WEEWX_SOURCE=../shared/weewx-5.4.0/src /usr/bin/python3 \\
        tests/weewx/brinok_service_test.py
"""

from collections import namedtuple
import logging
import os
import sys
import tempfile
import time
import unittest

SKIP = 77
# No compiled files left in WeeWX's source or the repository.
sys.dont_write_bytecode = True
try:
    sys.path.insert(0, os.environ['BRINOK_WEEWX_SOURCE'])
    import weewx
    import weewx.manager
    import weewx.schemas.wview_extended
except (KeyError, ImportError) as e:
    why = 'no WeeWX source (BRINOK_WEEWX_SOURCE) or python3-configobj: %r' % e
    if os.environ.get('CI') == 'true':
        sys.exit('FAIL: ' + why)
    print('SKIP: ' + why)
    sys.exit(SKIP)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..',
                                'contrib', 'weewx', 'bin', 'user'))
import brinok  # noqa: E402

# A station's archive record: its unit system and interval in minutes, the
# rain of the records stored before it ((local time, rain) in the station's
# units), its local time and observations. The service handles it `handled`
# seconds after its time, with a log from the record before still waiting
# in the station folder (or with no station folder: `folder` False); then
# the folder holds the new log's seven lines (`holds`), or no log and WeeWX's
# log holds one line of the level and words in `says`.
Row = namedtuple('Row', 'name units interval stored at observations handled holds says folder',
                 defaults=(None, None, True))
AT = '2024-06-02 10:00'
US = dict(windDir=270.4, windSpeed=5.4, windGust=11.5, outTemp=68.5, rain=0.02,
          altimeter=29.92, barometer=29.50, outHumidity=54.5)
US_LOG = ['270', '5', '12', '69', '0.12', '1013.2', '55']
ROWS = [
    Row('US: whole values rounded, .5 up; altimeter, not barometer; rain of today only',
        weewx.US, 5, [('2024-06-02 00:00', 0.50), ('2024-06-02 00:05', 0.04),
                      ('2024-06-02 09:55', 0.06)], AT, US, 15, US_LOG),
    Row('METRIC: km/h, degrees C (below 0 F rounded, not cut), cm, mbar',
        weewx.METRIC, 5, [('2024-06-02 08:00', 0.508)], AT,
        dict(windDir=45.0, windSpeed=16.0934, windGust=35.405568, outTemp=-20.3333, rain=0.254,
             altimeter=998.46, barometer=1001.0, outHumidity=70.0), 15,
        ['45', '10', '22', '-5', '0.30', '998.5', '70']),
    Row('METRICWX: m/s, mm; barometer where no altimeter; 359.6 degrees is 360',
        weewx.METRICWX, 1, [('2024-06-02 09:00', 22.86)], AT,
        dict(windDir=359.6, windSpeed=2.2352, windGust=6.7, outTemp=0.0, rain=2.54,
             barometer=1013.04, outHumidity=99.6), 15,
        ['360', '5', '15', '32', '1.00', '1013.0', '100']),
    Row('rain capped at 9.99 inches before its two decimals',
        weewx.US, 5, [('2024-06-02 09:00', 9.99)], AT, dict(US, rain=0.006), 15,
        ['270', '5', '12', '69', '9.99', '1013.2', '55']),
    Row('no sensors: N/A, three spaces for the rain, a speed without direction N/A',
        weewx.US, 5, [('2024-06-02 09:00', 0.10)], AT,
        dict(windDir=None, windSpeed=3.0, outTemp=None, rain=None, altimeter=None,
             barometer=None, outHumidity=None), 15,
        ['N/A', 'N/A', 'N/A', 'N/A', '   ', 'N/A', 'N/A']),
    Row('calm: WeeWX has no direction, the speed N/A too',
        weewx.METRICWX, 1, [], AT,
        dict(windDir=None, windSpeed=0.0, windGust=1.2, outTemp=10.0, rain=0.0,
             altimeter=1020.0, outHumidity=40.0), 15,
        ['N/A', 'N/A', '3', '50', '0.00', '1020.0', '40']),
    Row('the record of midnight: its rain fell the day before',
        weewx.US, 5, [('2024-06-01 23:55', 0.03)], '2024-06-02 00:00', dict(US, rain=0.04), 15,
        ['270', '5', '12', '69', '0.00', '1013.2', '55']),
    Row('the record after midnight: its own rain alone',
        weewx.US, 5, [('2024-06-01 23:55', 0.03), ('2024-06-02 00:00', 0.04)],
        '2024-06-02 00:05', dict(US, rain=0.01), 15,
        ['270', '5', '12', '69', '0.01', '1013.2', '55']),
    Row('twice its interval of 5 minutes old: still current',
        weewx.US, 5, [('2024-06-02 09:55', 0.10)], AT, US, 600, US_LOG),
    Row('more than twice its interval of 1 minute old: no log',
        weewx.US, 1, [('2024-06-02 09:55', 0.10)], AT, US, 121,
        says=('INFO', 'more than twice the archive interval old; the log waiting there deleted')),
    Row('a second ahead of the clock: no log',
        weewx.US, 5, [('2024-06-02 09:55', 0.10)], AT, US, -1,
        says=('WARNING', 'ahead of the clock; the log waiting there deleted')),
    Row('no station folder: an error line, and WeeWX goes on',
        weewx.US, 5, [('2024-06-02 09:55', 0.10)], AT, US, 15,
        says=('ERROR', 'No such file or directory'), folder=False),
]


def local(text):
    return int(time.mktime(time.strptime(text, '%Y-%m-%d %H:%M')))


class Engine:
    """What the service takes from WeeWX's engine: bind(), and the database
    manager of the data binding."""

    def __init__(self, dbmanager):
        self.db_binder = self
        self.dbmanager = dbmanager

    def bind(self, event_type, callback):
        pass

    def get_manager(self, data_binding):
        assert data_binding == 'wx_binding', data_binding
        return self.dbmanager


class Lines(logging.Handler):
    """The lines the service writes to WeeWX's log."""

    def __init__(self):
        super().__init__()
        self.lines = []

    def emit(self, record):
        self.lines.append((record.levelname, record.getMessage()))


class WeatherLogTest(unittest.TestCase):
    """One test per row of ROWS."""

    def setUp(self):
        # Local midnight as a station in Massachusetts has it.
        self.zone = os.environ.get('TZ')
        os.environ['TZ'] = 'America/New_York'
        time.tzset()
        self.scratch = tempfile.TemporaryDirectory()
        self.lines = Lines()
        brinok.log.addHandler(self.lines)
        brinok.log.setLevel(logging.DEBUG)

    def tearDown(self):
        brinok.log.removeHandler(self.lines)
        self.scratch.cleanup()
        if self.zone is None:
            del os.environ['TZ']
        else:
            os.environ['TZ'] = self.zone
        time.tzset()

    def check(self, row):
        folder = os.path.join(self.scratch.name, 'station')
        log_path = os.path.join(folder, brinok.LOG_NAME)
        if row.folder:
            os.mkdir(folder)
            with open(log_path, 'wb') as waiting:
                waiting.write(b'the log of the record before\r\n')
        record = dict(row.observations, dateTime=local(row.at), usUnits=row.units,
                      interval=row.interval)
        with weewx.manager.Manager.open_with_create(
                {'database_name': ':memory:', 'driver': 'weedb.sqlite'},
                schema=weewx.schemas.wview_extended.schema) as dbmanager:
            for at, rain in row.stored:
                dbmanager.addRecord(dict(dateTime=local(at), usUnits=row.units,
                                         interval=row.interval, rain=rain))
            dbmanager.addRecord(record)
            service = brinok.BrinokLog(Engine(dbmanager), {'Brinok': {'folder': folder}})
            self.lines.lines.clear()
            service.write(record, record['dateTime'] + row.handled)

        if row.holds is not None:
            self.assertEqual(self.lines.lines, [])
            self.assertEqual(os.listdir(folder), [brinok.LOG_NAME])
            with open(log_path, 'rb') as log:
                self.assertEqual(log.read().decode('ascii').split('\r\n'), row.holds + [''])
            status = os.stat(log_path)
            self.assertEqual(status.st_mtime, record['dateTime'])
            self.assertEqual(status.st_mode & 0o7777, 0o644)
        else:
            self.assertEqual(len(self.lines.lines), 1, self.lines.lines)
            level, message = self.lines.lines[0]
            self.assertEqual(level, row.says[0])
            self.assertIn(row.says[1], message)
            self.assertFalse(os.path.exists(log_path))
            if row.folder:
                self.assertEqual(os.listdir(folder), [])


for number, row in enumerate(ROWS, 1):
    setattr(WeatherLogTest, 'test_%02d' % number,
            lambda self, row=row: self.check(row))
    getattr(WeatherLogTest, 'test_%02d' % number).__doc__ = row.name

if __name__ == '__main__':
    unittest.main(verbosity=2)
