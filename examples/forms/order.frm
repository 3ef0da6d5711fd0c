VERSION 1.00
Begin Form Main
   Caption         =   "Order entry"
   Width           =   4800
   BeginProperty Font
      Name            =   "Arial"
      Size            =   9
   EndProperty
   Height          =   3600
   Begin Button Ok
      Caption         =   "OK"
      Default         =   -1
   End
   Begin Button Cancel
      Caption         =   "Cancel"
   End
End
