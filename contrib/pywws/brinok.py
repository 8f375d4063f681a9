"""pywws service that puts a file into brinok's station folder in one step.

pywws writes its template output in place, and its copy service copies
in place too, so a run of brinok could find the weather log empty or
half written. This service copies the file under a temporary name in
the station folder and renames it over the log: brinok sees the old
log, no log or the whole new one. Put it in the [paths] modules folder
of weather.ini; the [brinok] section names the station folder.

It places only a log of seven lines. brinok's template writes a line more
in front of the seven when the reading is not current (more than 5 minutes
old, or ahead of the clock): such a log is not placed, its first line goes
to pywws's log as a warning, and a log still waiting in the station folder
is deleted, so that no reading goes out later than that.
"""

from contextlib import contextmanager
import logging
import os
import sys
import tempfile

import pywws.service

service_name = os.path.splitext(os.path.basename(__file__))[0]
logger = logging.getLogger(__name__)


class ToService(pywws.service.FileService):
    config = {'directory': ('', True, None)}
    logger = logger
    service_name = service_name

    @contextmanager
    def session(self):
        # A true session: the batch loop uploads nothing without one.
        yield True, 'OK'

    def upload_file(self, session, path):
        directory = self.params['directory']
        log = os.path.join(directory, os.path.basename(path))
        try:
            with open(path, 'rb') as source:
                text = source.read()
            if text.count(b'\r\n') != 7:
                logger.warning('%s not placed: %s', log, text.split(
                    b'\r\n', 1)[0].decode('ascii', 'replace'))
                try:
                    os.unlink(log)
                except FileNotFoundError:
                    pass
                return True, 'OK'
            fd, temporary = tempfile.mkstemp(dir=directory, prefix='.pywws-')
            try:
                with os.fdopen(fd, 'wb') as target:
                    target.write(text)
                    target.flush()
                    os.fsync(target.fileno())
                # Readable by brinok's account, which deletes it afterwards.
                os.chmod(temporary, 0o644)
                os.replace(temporary, log)
            except BaseException:
                os.unlink(temporary)
                raise
        except Exception as ex:
            return False, repr(ex)
        return True, 'OK'


if __name__ == "__main__":
    sys.exit(pywws.service.main(ToService))
