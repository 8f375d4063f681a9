"""Installs brinok's service into WeeWX, which then writes the weather log
QQ9QQ-7.Log into the station folder after each archive record:

    weectl extension install /usr/share/brinok/weewx --config /etc/weewx/weewx.conf --yes
    weectl extension uninstall brinok --config /etc/weewx/weewx.conf --yes

It copies bin/user/brinok.py into WeeWX's user folder, adds its service to
the RESTful services, which run after the archive service has stored the
record, and adds the section [Brinok], whose option folder names the
station folder.
"""

from weecfg.extension import ExtensionInstaller


def loader():
    return BrinokInstaller()


class BrinokInstaller(ExtensionInstaller):
    def __init__(self):
        super().__init__(
            # brinok's version, as CMakeLists.txt gives it (.ci/weewx.sh checks).
            version='1.1.0',
            name='brinok',
            description="Writes brinok's weather log after each archive record",
            author='the brinok developers',
            restful_services='user.brinok.BrinokLog',
            # The station folder that brinok's package makes.
            config={'Brinok': {'folder': '/var/lib/brinok'}},
            files=[('bin/user', ['bin/user/brinok.py'])])
