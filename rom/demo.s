; The built-in demonstration ROM.
;
; A small program for the Saturn processor that stands in for the
; calculator's own firmware, which the project does not ship. It shows a
; title screen, the key being pressed, a clock, the number of objects on its
; data stack and the last bytes received on the serial port, echoes every
; byte it receives, and receives one file by XModem when X is pressed.
;
; How it is built: tools/saturn_asm turns this file into ROM.E49, a raw
; image of 0x400000 nibbles (one nibble per byte). With the HP 49G memory
; hardware on, the low bank (addresses 0 to #3FFFF) shows the first
; #40000 nibbles of the image, where everything below lives.
;
; How it runs: everything happens in one main loop, which looks at every
; source of work in turn (the clock, the serial port, the keyboard, the data
; stack) and, when none has anything, sleeps in SHUTDN. The interrupt
; handler does almost nothing: it stops the timers from interrupting again,
; notes that there is work, and makes sure the main loop does not go to
; sleep on an event it has not seen yet.
;
; Registers: P stays 0 everywhere (LC and LA load at nibble P). The main
; loop uses A to D, D0, D1, R0 and R1; the interrupt handler keeps the main
; loop's A, C, D1 and carry in R2, R3, R4 and ST bit 15, which nothing else
; uses. ST bit 14 is set while the main loop runs in interrupt service
; because the ON key is held (see the interrupt handler).

; ---------------------------------------------------------------------------
; Memory map
;
;   #00000  reset: jump to start
;   #0000F  interrupt vector: jump to the handler
;   #00100  the I/O registers (64 nibbles), configured by start
;   #03019  skipob: moves D0 past an object
;   #03080  the program, its strings, the font and the title screen
;   #80000  RAM (port 0, #80000 nibbles), configured by start:
;             #80000  the program's variables (below)
;             #806EE  the object area and data stack words
;             #81000  the display: 64 lines of 34 nibbles
;             #82000  the object area, growing upwards
;             #A0000  the bottom of the data stack, which grows downwards

IO          = #00100            ; the I/O register window
DISPCTRL    = IO+#00            ; bit 3 display on, bits 0-2 left offset
ANNUNC      = IO+#0B            ; annunciators, bits 0-3
IOC         = IO+#10            ; serial: 8 port on, 2 receive interrupt
RCS         = IO+#11            ; serial: 1 a received byte waits
RBR         = IO+#14            ; serial: the received byte (reading it takes it)
TBR         = IO+#16            ; serial: writing the high nibble sends it
DISPADDR    = IO+#20            ; the display's first line (5 nibbles)
MENUADDR    = IO+#30            ; the menu area's first line (5 nibbles)
T1CTRL      = IO+#2E            ; TIMER1 control: 4 wake, 2 interrupt
T2CTRL      = IO+#2F            ; TIMER2 control: 4 wake, 2 interrupt, 1 run
TIMER1      = IO+#37            ; 4 bits, one count every 1/16 s
TIMER2      = IO+#38            ; 32 bits, one count every 1/8192 s

RAM         = #80000
RAMSIZE     = #80000

; The program's variables
WORK        = #80000            ; 1: set by the interrupt handler
SECONDS     = #80010            ; 5: the clock
KEYSHOWN    = #80020            ; 3: the key on the screen: 0, #1rc or #200 (ON)
STACKSHOWN  = #80030            ; 5: the stack count on the screen
RXLAST      = #80040            ; 16: the last eight bytes received, newest low
RXCOUNT     = #80050            ; 1: how many of them there are, up to 8
XMSTATE     = #80060            ; 1: 1 while an XModem transfer runs
XMIDLE      = #80061            ; 1: seconds without a byte from the sender
XMPOS       = #80062            ; 3: bytes of the current block received
XMBLOCK     = #80065            ; 2: the block number expected next
XMCOUNT     = #80070            ; 5: data bytes received
XMSUM       = #80075            ; 5: their sum
XMPAD       = #8007A            ; 5: filler bytes (#1A) at the end so far
XMRAW       = #80100            ; 264: the block being received

; The object area and data stack, as a front end that places objects on
; the stack expects them: the next object goes to OBJECTEND, the block
; between it and FREESTART moves up with each object, the stack's lowest
; cell is at STACKTOP and FREECELLS counts the free 5-nibble cells.
OBJECTEND   = #806EE
FREESTART   = #806F3
STACKTOP    = #806F8
FREECELLS   = #8082E
OBJECTS     = #82000
STACKBOTTOM = #A0000

DISPLAY     = #81000
LINE        = 34                ; nibbles per display line
ROW         = 6*LINE            ; nibbles per line of text

; Where the changing values go: text line and column
CLOCK_AT    = DISPLAY+4*ROW+7
KEY_AT      = DISPLAY+5*ROW+7
STACK_AT    = DISPLAY+6*ROW+7
SERIAL_AT   = DISPLAY+7*ROW+7
XMODEM_AT   = DISPLAY+8*ROW+7

XMODEM_KEY  = #124              ; X: matrix column 4, row 2
SOH         = #01
EOT         = #04
ACK         = #06
NAK         = #15
FILLER      = #1A

; Object prologs, the first five nibbles of every object
PROLOG_REAL   = #02933          ; then 16 nibbles of value
PROLOG_STRING = #02A2C          ; then a length field
PROLOG_BINT   = #02A4E          ; then a length field
PROLOG_CODE   = #02DCC          ; then a length field

; ---------------------------------------------------------------------------
; Reset and interrupt vectors

            ORG     #00000
            GOVLNG  start

            ORG     #0000F
            GOVLNG  interrupt

; ---------------------------------------------------------------------------
; skipob: moves D0 past the object it points at.
;
; A real (PROLOG_REAL) is the prolog and 16 nibbles. A string, a binary
; integer and a code object are the prolog and a 5-nibble length field
; that counts itself and the body. Anything else counts as its prolog
; alone. Uses A and C; touches no RAM, so it works whatever the memory map.

            ORG     #03019
skipob:     A=DAT0.A
            D0=D0+5
            LC(5)   PROLOG_REAL
            ?C=A.A  GOYES skipob_real
            LC(5)   PROLOG_STRING
            ?C=A.A  GOYES skipob_length
            LC(5)   PROLOG_BINT
            ?C=A.A  GOYES skipob_length
            LC(5)   PROLOG_CODE
            ?C=A.A  GOYES skipob_length
            RTN
skipob_real:
            D0=D0+16
            RTN
skipob_length:
            C=DAT0.A
            AD0EX
            A=A+C.A
            D0=A
            RTN

; ---------------------------------------------------------------------------
; start: the machine as reset leaves it, every page showing this ROM.

            ORG     #03080
start:      INTOFF
            SETHEX
            P=      0
            ST=0.14
            RESET                   ; drop any mapping a running program left
            LC(5)   IO
            CONFIG                  ; the I/O registers
            LC(5)   #100000-RAMSIZE
            CONFIG                  ; RAM: its size ...
            LC(5)   RAM
            CONFIG                  ; ... then its address

; The variables (#80000 to #8007F) cleared, and an empty object area and
; data stack. RAM keeps its content across a reset.
            C=0.W
            D1=(5)  WORK
            P=      8
start_clear:
            DAT1=C.W
            D1=D1+16
            P=P-1
            ?P#0    GOYES start_clear
            D1=(5)  STACKSHOWN
            C=C-1.A                 ; #FFFFF: no count shown yet
            DAT1=C.A
            LC(5)   OBJECTS
            D1=(5)  OBJECTEND
            DAT1=C.A
            D1=(5)  FREESTART
            DAT1=C.A
            LC(5)   STACKBOTTOM
            D1=(5)  STACKTOP
            DAT1=C.A
            LC(5)   (STACKBOTTOM-OBJECTS)/5
            D1=(5)  FREECELLS
            DAT1=C.A

; The title screen, built by the assembler, copied into the display
            D0=(5)  title
            D1=(5)  DISPLAY
            LC(3)   (title_end-title+15)/16
            B=C.X
start_copy: A=DAT0.W
            DAT1=A.W
            D0=D0+16
            D1=D1+16
            B=B-1.X
            ?B#0.X  GOYES start_copy

; The LCD: 64 lines of 34 nibbles from DISPLAY, all of them main area
            D1=(5)  DISPADDR
            LC(5)   DISPLAY
            DAT1=C.A
            D1=D1+5                 ; line offset 0
            C=0.A
            DAT1=C.X
            D1=D1+3                 ; line count 63
            LC(2)   63
            DAT1=C.B
            D1=(5)  MENUADDR
            LC(5)   DISPLAY
            DAT1=C.A
            D1=(5)  DISPCTRL
            LC(1)   8
            DAT1=C.1
            GOSUB   show_clock

; The keyboard: every line driven, so that any press raises a key interrupt
            LC(3)   #1FF
            OUT=C
            C=IN
            INTON

; TIMER2 runs out once a second: after 8192 counts from 8191
            D1=(5)  TIMER2
            LC(8)   8191
            DAT1=C.8
            D1=(5)  T2CTRL
            LC(1)   7
            DAT1=C.1

; The serial port on, with an interrupt for every byte received
            D1=(5)  IOC
            LC(1)   #A
            DAT1=C.1

; ---------------------------------------------------------------------------
; The main loop: look at everything; when nothing had work, sleep.

mainloop:   ?ST=0.14 GOYES main_work
            C=IN                    ; held in service while ON is down
            ?CBIT=1.15 GOYES main_work
            ST=0.14
            GOSUB   end_service
main_work:  D1=(5)  WORK
            C=0.A
            DAT1=C.1

; The clock: TIMER2 below zero means a second has passed. Adding 8192 to it
; keeps the beat of the seconds however late we look.
clock:      D1=(5)  TIMER2+7
            C=DAT1.1
            ?CBIT=0.3 GOYES clock_arm
            D1=(5)  TIMER2+3
            C=DAT1.5
            C=C+2                   ; #2000 = 8192 counts
            DAT1=C.5
            D1=(5)  SECONDS
            C=DAT1.A
            C=C+1.A
            DAT1=C.A
            GOSUB   show_clock
            GOSUB   xm_tick
            GOTO    mainloop
clock_arm:  D1=(5)  T2CTRL          ; interrupt and wake when it runs out
            LC(1)   7
            DAT1=C.1

; The serial port: echo every byte and keep the last eight, or give it to
; the XModem receiver while a transfer runs.
serial:     D1=(5)  RCS
            C=DAT1.1
            ?CBIT=0.0 GOYES keys
            D1=(5)  RBR
            C=0.A
            C=DAT1.B
            D1=(5)  XMSTATE
            A=DAT1.1
            ?A#0.P  GOYES serial_xmodem
            GOSUB   send
            D1=(5)  RXLAST
            A=DAT1.W
            ASL.W
            ASL.W
            A=C.B
            DAT1=A.W
            D1=(5)  RXCOUNT
            C=DAT1.1
            ?CBIT=1.3 GOYES serial_show
            C=C+1.P
            DAT1=C.1
serial_show:
            GOSUB   show_serial
            GOTO    mainloop
serial_xmodem:
            GOVLNG  xm_byte

; The keyboard: find the key by driving one line at a time. Key interrupts
; are off meanwhile, so that the lines coming back are no new presses.
keys:       INTOFF
            C=0.A
            LC(1)   1               ; the line of row 0
            D=0.A                   ; the row
keys_row:   OUT=C
            A=IN
            ABIT=0.9                ; columns are lines 0-8
            ABIT=0.10
            ABIT=0.11
            ?A#0.X  GOYES keys_column
            C=C+C.X
            D=D+1.A
            ?CBIT=0.9 GOYES keys_row
            A=0.A                   ; no matrix key down
            GOTO    keys_on
keys_column:
            B=0.A                   ; the column: the lowest line that answers
keys_bit:   ?ABIT=1.0 GOYES keys_code
            ASRB.X
            B=B+1.A
            GOTO    keys_bit
keys_code:  C=D.A                   ; #1rc: row, column, and a key is down
            CSL.A
            C=C+B.A
            CBIT=1.8
            A=C.A
keys_on:    LC(3)   #1FF            ; every line again: a press is an interrupt
            OUT=C
            C=IN
            INTON
            ?CBIT=0.15 GOYES keys_poll
            A=0.A
            LA(3)   #200            ; the ON key
keys_poll:  B=A.A
; While anything is down, TIMER1 wakes us 16 times a second to see it go up.
            ?A#0.X  GOYES keys_down
            ?C#0.X  GOYES keys_down
            C=0.A                   ; nothing down: TIMER1 quiet
            GOTO    keys_timer
keys_down:  D1=(5)  TIMER1
            C=0.A
            DAT1=C.1                ; it runs out at its next count
            LC(1)   6
keys_timer: D1=(5)  T1CTRL
            DAT1=C.1
; Annunciator 0 while a key is down. It goes first: drawing the key takes
; thousands of instructions, and the annunciator is the quick sign.
            D1=(5)  ANNUNC
            C=0.A
            ?B=0.X  GOYES keys_annunciator
            LC(1)   1
keys_annunciator:
            DAT1=C.1
            D1=(5)  KEYSHOWN
            C=0.A
            C=DAT1.X
            ?B=C.X  GOYES stack
            C=B.A
            DAT1=C.X
            GOSUB   show_key
            LC(3)   XMODEM_KEY
            ?B#C.X  GOYES keys_done
            D1=(5)  XMSTATE
            C=DAT1.1
            ?C#0.P  GOYES keys_done
            GOSUB   xm_start
keys_done:  GOTO    mainloop

; The data stack: count its cells.
stack:      D1=(5)  STACKTOP
            A=DAT1.A
            LC(5)   STACKBOTTOM
            C=C-A.A
            A=0.A
stack_cell: C=C-5
            GOC     stack_counted
            A=A+1.A
            GOTO    stack_cell
stack_counted:
            D1=(5)  STACKSHOWN
            C=DAT1.A
            ?C=A.A  GOYES idle
            DAT1=A.A
            D1=(5)  STACK_AT
            GOSUB   putdec
            GOTO    mainloop

; Nothing to do: sleep, unless an interrupt came while we looked. An
; interrupt between reading WORK and SHUTDN is sent back to mainloop by the
; handler, or we would sleep through it.
idle:       D1=(5)  WORK
            C=DAT1.1
idle_test:  ?C#0.P  GOYES idle_again
idle_sleep: SHUTDN
            GOTO    mainloop
idle_again: GOTO    mainloop

; ---------------------------------------------------------------------------
; The interrupt handler. Whatever the cause (a key, the ON key, a timer, a
; received byte), the main loop finds out by looking: the handler only
; keeps the timers from interrupting again until the main loop has seen
; them, and sets WORK.
;
; The ON key is different: while it is held, every RTI raises its interrupt
; again at once, and the main loop would never run. So while ON is down the
; handler returns with RTN, leaving the processor in interrupt service
; (further requests are dropped, the main loop looks anyway), and sets ST
; bit 14; the main loop ends the service with an RTI once ON is up.

interrupt:  R4=A
            R3=C
            AD1EX
            R2=A
            ST=0.15
            GONC    int_carry
            ST=1.15
int_carry:  D1=(5)  T1CTRL
            C=0.A
            DAT1=C.1                ; TIMER1: no wake, no interrupt
            D1=D1+1
            LC(1)   1
            DAT1=C.1                ; TIMER2: runs on, no wake, no interrupt
            D1=(5)  WORK
            DAT1=C.1
            C=IN
            ?CBIT=0.15 GOYES int_where
            ST=1.14
int_where:  C=RSTK                  ; where the main loop was
            LA(5)   idle_test
            ?C<A.A  GOYES int_return
            LA(5)   idle_sleep
            ?C>A.A  GOYES int_return
            LC(5)   mainloop        ; about to sleep: look again instead
int_return: RSTK=C
            A=R2
            D1=A
            A=R4
            C=R3
            ?ST=1.14 GOYES int_held
            ?ST=1.15 GOYES int_done ; the carry as it was
int_done:   RTI
int_held:   ?ST=1.15 GOYES int_held_done
int_held_done:
            RTN                     ; still in service: ON is down

end_service:
            RTI                     ; returns to the caller, out of service

; ---------------------------------------------------------------------------
; The XModem receiver: checksum mode, 128-byte blocks. It asks with NAK,
; answers a good block with ACK and a bad one with NAK, and asks again
; after two silent seconds. The file is the data less the filler bytes at
; its end; the screen shows its length and the 16-bit sum of its bytes.

xm_start:   D1=(5)  XMSTATE
            C=0.W
            LC(1)   1
            DAT1=C.W                ; receiving; XMIDLE, XMPOS 0
            D1=(5)  XMBLOCK
            DAT1=C.B                ; block 1 first
            C=0.W
            D1=(5)  XMCOUNT
            DAT1=C.W                ; XMCOUNT, XMSUM, XMPAD 0
            D1=(5)  XMODEM_AT
            D0=(5)  text_receiving
            GOSUB   puts
            LC(2)   NAK
            GOTO    send

; Once a second: a sender silent for two seconds is asked again.
xm_tick:    D1=(5)  XMSTATE
            C=DAT1.1
            ?C=0.P  RTNYES
            D1=(5)  XMIDLE
            C=DAT1.1
            C=C+1.P
            DAT1=C.1
            A=0.A
            LA(1)   3
            ?C<A.P  RTNYES
            C=0.A
            DAT1=C.1
            D1=D1+1                 ; XMPOS: start the block again
            DAT1=C.X
            LC(2)   NAK
            GOTO    send

; A byte from the sender, in C.B.
xm_byte:    B=C.A
            D1=(5)  XMIDLE
            C=0.A
            DAT1=C.1
            D1=(5)  XMPOS
            C=DAT1.X
            ?C#0.X  GOYES xm_store
            A=B.A                   ; between blocks: SOH or EOT
            LC(2)   SOH
            ?C=A.B  GOYES xm_store
            LC(2)   EOT
            ?C#A.B  GOYES xm_noise
            GOTO    xm_end
xm_noise:   GOVLNG  mainloop
xm_store:   D1=(5)  XMPOS           ; the byte goes to XMRAW + 2 * position
            C=0.A
            C=DAT1.X
            D=C.A
            C=C+C.A
            LA(5)   XMRAW
            C=C+A.A
            D1=C
            C=B.A
            DAT1=C.B
            D=D+1.A
            D1=(5)  XMPOS
            C=D.A
            DAT1=C.X
            LC(3)   132
            ?D=C.X  GOYES xm_block
            GOVLNG  mainloop

; A whole block: SOH, number, 255 - number, 128 data bytes, their sum.
xm_block:   D0=(5)  XMRAW+2
            C=0.A
            C=DAT0.B
            B=C.A                   ; the number
            D0=D0+2
            A=0.A
            A=DAT0.B
            A=A+C.B
            LC(2)   #FF
            ?C#A.B  GOYES xm_nak
            D0=(5)  XMRAW+6
            A=0.A
            LC(2)   128
            D=C.A
xm_sum:     C=DAT0.B
            A=A+C.B
            D0=D0+2
            D=D-1.B
            ?D#0.B  GOYES xm_sum
            C=DAT0.B
            ?C#A.B  GOYES xm_nak
            D1=(5)  XMBLOCK         ; the block expected, or the last one again
            C=DAT1.B                ; (the sender missed our ACK)
            ?B=C.B  GOYES xm_new
            C=C-1.B
            ?B=C.B  GOYES xm_ack
            GOTO    xm_nak
xm_new:     C=C+1.B
            DAT1=C.B
            GOSUB   xm_commit
xm_ack:     LC(2)   ACK
            GOTO    xm_reply
xm_nak:     LC(2)   NAK
xm_reply:   GOSUB   send
            D1=(5)  XMPOS
            C=0.A
            DAT1=C.X
            GOVLNG  mainloop

; Counts the block's data: XMCOUNT and XMSUM take every byte, XMPAD the
; filler bytes since the last other byte.
xm_commit:  D1=(5)  XMCOUNT
            C=DAT1.A
            R0=C
            D1=(5)  XMSUM
            C=DAT1.A
            R1=C
            D1=(5)  XMPAD
            A=DAT1.A
            D0=(5)  XMRAW+6
            LC(2)   128
            B=C.A
xm_commit_byte:
            C=0.A
            C=DAT0.B
            D0=D0+2
            AR0EX
            A=A+1.A
            AR0EX
            AR1EX
            A=A+C.A
            AR1EX
            C=C-16.B                ; less #1A: zero for a filler byte
            C=C-10.B
            ?C#0.B  GOYES xm_commit_data
            A=A+1.A
            GOTO    xm_commit_next
xm_commit_data:
            A=0.A
xm_commit_next:
            B=B-1.B
            ?B#0.B  GOYES xm_commit_byte
            D1=(5)  XMPAD
            DAT1=A.A
            C=R0
            D1=(5)  XMCOUNT
            DAT1=C.A
            C=R1
            D1=(5)  XMSUM
            DAT1=C.A
            RTN

; EOT: the file is complete. Its length leaves out the final fillers, and
; its sum leaves out #1A for each of them.
xm_end:     LC(2)   ACK
            GOSUB   send
            D1=(5)  XMSTATE
            C=0.A
            DAT1=C.1
            D1=(5)  XMPAD
            A=DAT1.A
            D1=(5)  XMCOUNT
            C=DAT1.A
            C=C-A.A
            DAT1=C.A
            A=A+A.A                 ; D = 26 * fillers: 2 + 8 + 16
            C=A.A
            D=C.A
            A=A+A.A
            A=A+A.A
            C=A.A
            D=D+C.A
            A=A+A.A
            C=A.A
            D=D+C.A
            D1=(5)  XMSUM
            C=DAT1.A
            C=C-D.A
            DAT1=C.A
            D1=(5)  XMCOUNT
            A=DAT1.A
            D1=(5)  XMODEM_AT
            GOSUB   putdec
            D0=(5)  text_bytes
            GOSUB   puts
            D0=(5)  XMSUM
            C=DAT0.A
            B=C.A
            CSR.A
            CSR.A
            GOSUB   puthex2
            C=B.A
            GOSUB   puthex2
            GOVLNG  mainloop

; send: C.B to the serial port.
send:       D1=(5)  TBR
            DAT1=C.B
            RTN

; ---------------------------------------------------------------------------
; Drawing. A character cell is 4 dots wide, one nibble of a display line,
; and 6 lines high; D1 points at the top nibble of the cell.

show_clock: D1=(5)  SECONDS
            A=DAT1.A
            D1=(5)  CLOCK_AT
            GOTO    putdec

; The bytes received, oldest first, as hexadecimal pairs.
show_serial:
            D1=(5)  RXLAST
            C=DAT1.W
            B=C.W
            D1=(5)  RXCOUNT
            C=0.A
            C=DAT1.1
            D=C.A
            A=0.A
            LA(1)   8
            A=A-C.A
show_serial_align:                  ; the oldest byte to the top of B
            ?A=0.A  GOYES show_serial_draw
            BSLC
            BSLC
            A=A-1.A
            GOTO    show_serial_align
show_serial_draw:
            D1=(5)  SERIAL_AT
show_serial_byte:
            ?D=0.A  RTNYES
            BSLC
            BSLC
            C=B.A
            GOSUB   puthex2
            LC(2)   ' '
            GOSUB   putc
            D=D-1.A
            GOTO    show_serial_byte

; The key in B.X: #1rc shows as "Cc Rr", #200 as "ON", 0 as "--".
show_key:   D1=(5)  KEY_AT
            D0=(5)  text_nokey
            ?B=0.X  GOYES puts
            D0=(5)  text_on
            C=B.A
            ?CBIT=1.9 GOYES puts
            LC(2)   'C'
            GOSUB   putc
            C=B.A
            GOSUB   putnib
            LC(2)   ' '
            GOSUB   putc
            LC(2)   'R'
            GOSUB   putc
            C=B.A
            CSR.B
            GOTO    putnib

; puts: the bytes at D0, up to a 0 byte. Uses A, C, D0, R1.
puts:       CD0EX
            R1=C
puts_next:  C=R1
            D0=C
            C=DAT0.B
            D0=D0+2
            AD0EX
            R1=A
            ?C=0.B  RTNYES
            GOSUB   putc
            GOTO    puts_next

; putdec: A.A in seven decimal digits. Uses A, B, C, D0, R1.
putdec:     B=A.A
            LC(5)   powers
            R1=C
putdec_next:
            C=R1
            D0=C
            C=DAT0.A
            D0=D0+5
            AD0EX
            R1=A
            ?C=0.A  RTNYES
            A=0.A
            LA(2)   '0'
putdec_count:
            ?B<C.A  GOYES putdec_digit
            B=B-C.A
            A=A+1.A
            GOTO    putdec_count
putdec_digit:
            C=A.A
            GOSUB   putc
            GOTO    putdec_next

; puthex2: C.B as two hexadecimal digits. Uses A, C, D0, R0.
puthex2:    R0=C
            CSR.B
            GOSUB   putnib
            C=R0
; putnib: C's nibble 0 as a hexadecimal digit. Uses A, C, D0.
putnib:     A=0.A
            A=C.P
            LC(1)   9
            ?C>=A.P GOYES putnib_digit
            A=A+7.A                 ; 'A' comes 7 after '9' + 1
putnib_digit:
            A=A+16.A                ; '0' is #30
            A=A+16.A
            A=A+16.A
            C=A.B
; putc: the character in C.B (space to underscore). Uses A, C, D0.
putc:       A=0.A
            A=C.B
            A=A-16.A                ; the font starts at space, #20
            A=A-16.A
            C=A.A                   ; six nibbles a character
            A=A+A.A
            A=A+C.A
            A=A+A.A
            LC(5)   font
            A=A+C.A
            D0=A
putc_line:  A=DAT0.1
            DAT1=A.1
            D0=D0+1
            D1=D1+16
            D1=D1+16
            D1=D1+2
            P=P+1
            ?P#6    GOYES putc_line
            P=      0
            AD1EX                   ; back up to the next cell's top
            LC(5)   ROW-1
            A=A-C.A
            D1=A
            RTN

; ---------------------------------------------------------------------------
; Data

powers:     CON(5)  1000000, 100000, 10000, 1000, 100, 10, 1, 0

text_nokey:     ASCII   "--   "
                BYTE    0
text_on:        ASCII   "ON   "
                BYTE    0
text_receiving: ASCII   "RECEIVING...          "
                BYTE    0
text_bytes:     ASCII   " BYTES SUM "
                BYTE    0

font:       FONT

; The title screen: ten lines of text, 6 display lines each, and the rest
; blank. The values are drawn over it at the columns given above.
title:      TEXTC   "BUILT-IN DEMONSTRATION ROM"
            TEXTC   "PUT YOUR OWN ROM.E49 IN THE"
            TEXTC   "WORKING DIRECTORY TO RUN IT"
            TEXT    0, ""
            TEXT    0, "CLOCK"
            TEXT    0, "KEY    --"
            TEXT    0, "STACK"
            TEXT    0, "SERIAL --"
            TEXT    0, "XMODEM PRESS X TO RECEIVE"
            TEXT    0, ""
            TEXT    0, ""
title_end:
