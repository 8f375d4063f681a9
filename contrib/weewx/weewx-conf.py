"""brinok's settings in a WeeWX configuration file, for brinok-setup weewx.

    python3 weewx-conf.py CONFIG interval        prints the archive interval
    python3 weewx-conf.py CONFIG folder          prints the station folder
    python3 weewx-conf.py CONFIG folder FOLDER   makes FOLDER the station folder

The archive interval, in seconds, is [StdArchive] archive_interval, or 300
where it is not set, as WeeWX's archive service takes it (StdArchive in
weewx/engine.py). A station whose driver reports an interval of its own,
with record_generation = hardware (WeeWX's default), logs at that one
instead, whatever the file says. The station folder is [Brinok] folder,
which installing the extension adds. A new folder is written with the whole
file to a temporary file beside it, which is given the file's owner, group
and mode and renamed over it; a file that names the folder already is left
as it is. Needs python3-configobj only.
"""

import os
import sys
import tempfile

import configobj

# What WeeWX's archive service takes where archive_interval is not set.
WEEWX_ARCHIVE_INTERVAL = 300


def save(config, path):
    """Replaces the file at path with config in one step."""
    path = os.path.realpath(path)
    status = os.stat(path)
    fd, temporary = tempfile.mkstemp(dir=os.path.dirname(path),
                                     prefix='.%s.' % os.path.basename(path))
    try:
        with os.fdopen(fd, 'wb') as new:
            config.write(new)
            new.flush()
            os.fchown(new.fileno(), status.st_uid, status.st_gid)
            os.fchmod(new.fileno(), status.st_mode & 0o7777)
            os.fsync(new.fileno())
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def main(args):
    if len(args) not in (2, 3) or args[1] not in ('interval', 'folder') or \
            len(args) == 3 and args[1] != 'folder':
        sys.exit(__doc__)
    path = args[0]
    try:
        config = configobj.ConfigObj(path, interpolation=False, file_error=True,
                                     encoding='utf-8')
    except (OSError, configobj.ConfigObjError) as e:
        sys.exit('%s: %s' % (path, e))
    folder = config.get('Brinok', {}).get('folder')
    if args[1] == 'interval':
        print(int(config.get('StdArchive', {}).get('archive_interval',
                                                   WEEWX_ARCHIVE_INTERVAL)))
    elif len(args) == 2:
        if not folder:
            sys.exit("%s: no [Brinok] folder: install brinok's WeeWX extension" % path)
        print(folder)
    elif folder != args[2]:
        if 'Brinok' not in config:
            config['Brinok'] = {}
        config['Brinok']['folder'] = args[2]
        save(config, path)


if __name__ == '__main__':
    main(sys.argv[1:])
