"""WeeWX service that writes brinok's weather log after each archive record.

Once WeeWX has stored an archive record in its database, the service
writes QQ9QQ-7.Log into the station folder that [Brinok] folder names:
seven lines, each ended by CR LF, in the units the APRS report sends,
whatever unit system the station stores (brinok converts none):

    wind direction     degrees
    wind speed         miles per hour (N/A without a direction as well,
                       such as when calm, so that the report sends neither)
    wind gust          miles per hour
    temperature        degrees Fahrenheit
    rain               inches since local midnight, two decimals, 9.99 at
                       most: the records stored after midnight up to this
                       one (a record of 00:00 holds rain of the day before)
    pressure           hPa at sea level, one decimal: WeeWX's altimeter, as
                       its CWOP upload sends, else its barometer
    humidity           per cent

Whole values are rounded, .5 up. A value the station lacks is written as
the log's "no data", N/A, or three spaces for the rain (the forms brinok's
pywws template writes, contrib/pywws/QQ9QQ-7.Log). The log is written
under another name in the station folder, dated with the record's time
(brinok dates the report with it), readable by brinok's account (which
deletes it), forced to disk and renamed over the log in one step.

Only a current record is written: one more than twice its archive interval
old (a station catching up on its memory) or dated ahead of the clock
writes no log and deletes a log still waiting, and one line in WeeWX's log
says why. A log that cannot be written is one error line; WeeWX goes on.
"""

import logging
import math
import os
import tempfile
import time

import weeutil.weeutil
import weewx
import weewx.engine
import weewx.units
import weewx.xtypes

log = logging.getLogger(__name__)

LOG_NAME = 'QQ9QQ-7.Log'
# What a line of the log holds for a value the station lacks.
NO_DATA = 'N/A'
NO_RAIN = '   '
# 10 inches or more cannot be sent; its twin is in contrib/pywws/QQ9QQ-7.Log.
RAIN_CAP = 9.99


def value_in(record, obs_type, unit):
    """The record's value of obs_type in unit; None where the record has none."""
    if record.get(obs_type) is None:
        return None
    return weewx.units.convert(weewx.units.as_value_tuple(record, obs_type), unit)[0]


def whole(value):
    return NO_DATA if value is None else '%d' % math.floor(value + 0.5)


def log_lines(record, rain_today):
    """The seven lines of the weather log for an archive record, in any unit
    system, and the rain since local midnight (a ValueTuple)."""
    direction = value_in(record, 'windDir', 'degree_compass')
    speed = value_in(record, 'windSpeed', 'mile_per_hour')
    gust = value_in(record, 'windGust', 'mile_per_hour')
    temperature = value_in(record, 'outTemp', 'degree_F')
    rain = None
    if record.get('rain') is not None:
        # None for a record of 00:00, whose rain fell before midnight.
        rain = weewx.units.convert(rain_today, 'inch')[0] or 0.0
    pressure = value_in(record, 'altimeter', 'hPa')
    if pressure is None:
        pressure = value_in(record, 'barometer', 'hPa')
    humidity = value_in(record, 'outHumidity', 'percent')
    return [whole(direction),
            whole(None if direction is None else speed),
            whole(gust),
            whole(temperature),
            NO_RAIN if rain is None else '%.2f' % min(rain, RAIN_CAP),
            NO_DATA if pressure is None else '%.1f' % pressure,
            whole(humidity)]


def not_current(record, now):
    """Why a record is not current at the time now, with the level to log
    it at; None when it is current."""
    age = now - record['dateTime']
    if age < 0:
        return logging.WARNING, 'is ahead of the clock'
    if age > 2 * 60 * record['interval']:
        return logging.INFO, 'is more than twice the archive interval old'
    return None


def place_log(folder, lines, time_ts):
    """Writes the lines as the weather log in folder, in one step, dated
    time_ts."""
    fd, temporary = tempfile.mkstemp(dir=folder, prefix='.weewx-')
    try:
        with os.fdopen(fd, 'wb') as target:
            target.write(''.join(line + '\r\n' for line in lines).encode('ascii'))
            target.flush()
            os.fchmod(target.fileno(), 0o644)
            os.utime(target.fileno(), (time_ts, time_ts))
            os.fsync(target.fileno())
        os.replace(temporary, os.path.join(folder, LOG_NAME))
    except BaseException:
        os.unlink(temporary)
        raise


class BrinokLog(weewx.engine.StdService):
    """Writes the weather log into the station folder after each archive
    record; bound to NEW_ARCHIVE_RECORD among the RESTful services, after
    the archive service has stored the record."""

    def __init__(self, engine, config_dict):
        super().__init__(engine, config_dict)
        self.folder = config_dict.get('Brinok', {}).get('folder')
        self.data_binding = config_dict.get('StdArchive', {}).get('data_binding', 'wx_binding')
        if not self.folder:
            log.error('No [Brinok] folder in the configuration: no weather log is written')
            return
        log.info('The weather log goes to %s after each archive record',
                 os.path.join(self.folder, LOG_NAME))
        self.bind(weewx.NEW_ARCHIVE_RECORD, self.new_archive_record)

    def new_archive_record(self, event):
        self.write(event.record, time.time())

    def write(self, record, now):
        """Writes the weather log of the record, handled at the time now, or
        says in WeeWX's log why not."""
        path = os.path.join(self.folder, LOG_NAME)
        try:
            why = not_current(record, now)
            if why:
                level, reason = why
                try:
                    os.unlink(path)
                    reason += '; the log waiting there deleted'
                except FileNotFoundError:
                    pass
                log.log(level, '%s not written: the record of %s %s', path,
                        weeutil.weeutil.timestamp_to_string(record['dateTime']), reason)
                return
            dbmanager = self.engine.db_binder.get_manager(self.data_binding)
            day = weeutil.weeutil.TimeSpan(weeutil.weeutil.startOfDay(record['dateTime']),
                                           record['dateTime'])
            rain_today = weewx.xtypes.ArchiveTable.get_aggregate('rain', day, 'sum', dbmanager)
            place_log(self.folder, log_lines(record, rain_today), record['dateTime'])
        except Exception as e:
            log.error('%s not written: %s', path, e)
