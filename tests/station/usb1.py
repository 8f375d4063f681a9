"""Stand-in for python3-usb1, the part pywws.device_libusb1 uses.

With this folder first on PYTHONPATH, pywws opens the simulated weather
station (station.py) instead of a USB device: the Unix socket named by
BRINOK_STATION_SOCKET is the station's USB port. Without that variable,
or with no station serving the socket, no device is found, as when the
station is unplugged. The 8-byte commands that pywws sends go to the
station as they are, and its answers come back as the bulk reads.
Errors are raised as the real module raises them, USBError subclasses
that are not IOError.
"""

import os
import socket

_VENDOR_PRODUCT = (0x1941, 0x8021)  # Fine Offset WH1080 and relatives
# libusb's status codes, named as the real module names its exceptions.
_ERRORS = {-3: 'LIBUSB_ERROR_ACCESS', -4: 'LIBUSB_ERROR_NO_DEVICE',
           -7: 'LIBUSB_ERROR_TIMEOUT', -9: 'LIBUSB_ERROR_PIPE'}


class USBError(Exception):
    value = None

    def __str__(self):
        return '%s [%s]' % (_ERRORS.get(self.value, 'Unknown error'),
                            self.value)


class USBErrorAccess(USBError):
    value = -3


class USBErrorNoDevice(USBError):
    value = -4


class USBErrorTimeout(USBError):
    value = -7


class USBErrorPipe(USBError):
    value = -9


class USBContext:
    def openByVendorIDAndProductID(self, vendor_id, product_id,
                                   skip_on_access_error=False,
                                   skip_on_error=False):
        """Return a handle on the station, or None if there is none."""
        path = os.environ.get('BRINOK_STATION_SOCKET')
        if not path or (vendor_id, product_id) != _VENDOR_PRODUCT:
            return None
        port = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            port.connect(path)
            port.sendall(b'usb\n')
        except PermissionError:
            # As libusb on a device node the account may not open.
            port.close()
            if skip_on_access_error:
                return None
            raise USBErrorAccess()
        except OSError:
            port.close()
            return None
        return USBDeviceHandle(port)


class USBDeviceHandle:
    def __init__(self, port):
        self._port = port
        # The kernel's HID driver takes the station when it is plugged in.
        self._kernel_driver = True

    def kernelDriverActive(self, interface):
        return self._kernel_driver

    def detachKernelDriver(self, interface):
        self._kernel_driver = False

    def resetDevice(self):
        pass

    def claimInterface(self, interface):
        pass

    def controlWrite(self, request_type, request, value, index, data,
                     timeout=0):
        # The station answers only the class request pywws sends (0x21:
        # out, class, interface; 0x09: SET_CONFIGURATION), and stalls on
        # any other, so a change in how pywws talks shows here.
        if (request_type, request, value, index) != (0x21, 0x09, 0x200, 0):
            raise USBErrorPipe()
        try:
            self._port.sendall(bytes(data))
        except OSError:
            raise USBErrorNoDevice() from None
        return len(data)

    def bulkRead(self, endpoint, length, timeout=0):
        self._port.settimeout(timeout / 1000 if timeout else None)
        result = bytearray()
        try:
            while len(result) < length:
                chunk = self._port.recv(length - len(result))
                if not chunk:
                    raise USBErrorNoDevice()
                result += chunk
        except socket.timeout:
            raise USBErrorTimeout() from None
        except OSError:
            raise USBErrorNoDevice() from None
        return result
