"""Stand-in for the libusb1 module of python3-usb1: the constants that
pywws.device_libusb1 uses, with libusb's values (see usb1.py here)."""

LIBUSB_ENDPOINT_OUT = 0x00
LIBUSB_TYPE_CLASS = 0x20
LIBUSB_RECIPIENT_INTERFACE = 0x01
LIBUSB_REQUEST_SET_CONFIGURATION = 0x09
