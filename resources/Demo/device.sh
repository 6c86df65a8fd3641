# The demo device, for the demo tools to source: one phone, always connected.
udid=00008120-0000DE30DE30001E
name='Demo iPhone'
