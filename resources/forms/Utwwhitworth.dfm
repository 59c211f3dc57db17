object fTwWhitworth: TfTwWhitworth
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'Whitworth'
  ClientHeight = 300
  ClientWidth = 470
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'Arial'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 15
  object pcWW: TPageControl
    Left = 8
    Top = 8
    Width = 454
    Height = 240
    ActivePage = tsW0
    TabOrder = 0
    object tsW0: TTabSheet
      Caption = '1'
      object lInstr0: TLabel
        Left = 12
        Top = 10
        Width = 400
        Height = 15
        Caption = 'Select Type'
      end
      object rTBSW: TRadioButton
        Left = 24
        Top = 44
        Width = 90
        Height = 19
        Caption = 'BSW'
        Checked = True
        TabOrder = 0
        TabStop = True
      end
      object rTBSF: TRadioButton
        Left = 24
        Top = 72
        Width = 90
        Height = 19
        Caption = 'BSF'
        TabOrder = 1
      end
      object rTWS: TRadioButton
        Left = 24
        Top = 100
        Width = 140
        Height = 19
        Caption = 'Whitworth S'
        TabOrder = 2
      end
    end
    object tsW1: TTabSheet
      Caption = '2'
      object lInstr1: TLabel
        Left = 12
        Top = 10
        Width = 400
        Height = 15
        Caption = 'Select Diameter (Inch)'
      end
      object rBSW1: TRadioButton
        Left = 16
        Top = 38
        Width = 80
        Height = 19
        Caption = '1/8'
        TabOrder = 0
      end
      object rBSW2: TRadioButton
        Left = 16
        Top = 63
        Width = 80
        Height = 19
        Caption = '3/16'
        TabOrder = 1
      end
      object rBSW3: TRadioButton
        Left = 16
        Top = 88
        Width = 80
        Height = 19
        Caption = '1/4'
        TabOrder = 2
      end
      object rBSW4: TRadioButton
        Left = 16
        Top = 113
        Width = 80
        Height = 19
        Caption = '5/16'
        TabOrder = 3
      end
      object rBSW5: TRadioButton
        Left = 16
        Top = 138
        Width = 80
        Height = 19
        Caption = '3/8'
        TabOrder = 4
      end
      object rBSW6: TRadioButton
        Left = 16
        Top = 163
        Width = 80
        Height = 19
        Caption = '7/16'
        TabOrder = 5
      end
      object rBSW7: TRadioButton
        Left = 102
        Top = 38
        Width = 80
        Height = 19
        Caption = '1/2'
        TabOrder = 6
      end
      object rBSW8: TRadioButton
        Left = 102
        Top = 63
        Width = 80
        Height = 19
        Caption = '9/16'
        TabOrder = 7
      end
      object rBSW9: TRadioButton
        Left = 102
        Top = 88
        Width = 80
        Height = 19
        Caption = '5/8'
        TabOrder = 8
      end
      object rBSW10: TRadioButton
        Left = 102
        Top = 113
        Width = 80
        Height = 19
        Caption = '11/16'
        TabOrder = 9
      end
      object rBSW11: TRadioButton
        Left = 102
        Top = 138
        Width = 80
        Height = 19
        Caption = '3/4'
        TabOrder = 10
      end
      object rBSW12: TRadioButton
        Left = 102
        Top = 163
        Width = 80
        Height = 19
        Caption = '7/8'
        TabOrder = 11
      end
      object rBSW13: TRadioButton
        Left = 188
        Top = 38
        Width = 80
        Height = 19
        Caption = '1'
        TabOrder = 12
      end
      object rBSW14: TRadioButton
        Left = 188
        Top = 63
        Width = 80
        Height = 19
        Caption = '1 1/8'
        TabOrder = 13
      end
      object rBSW15: TRadioButton
        Left = 188
        Top = 88
        Width = 80
        Height = 19
        Caption = '1 1/4'
        TabOrder = 14
      end
      object rBSW16: TRadioButton
        Left = 188
        Top = 113
        Width = 80
        Height = 19
        Caption = '1 1/2'
        TabOrder = 15
      end
      object rBSW17: TRadioButton
        Left = 188
        Top = 138
        Width = 80
        Height = 19
        Caption = '1 3/4'
        TabOrder = 16
      end
      object rBSW18: TRadioButton
        Left = 188
        Top = 163
        Width = 80
        Height = 19
        Caption = '2'
        TabOrder = 17
      end
      object rBSW19: TRadioButton
        Left = 274
        Top = 38
        Width = 80
        Height = 19
        Caption = '2 1/4'
        TabOrder = 18
      end
      object rBSW20: TRadioButton
        Left = 274
        Top = 63
        Width = 80
        Height = 19
        Caption = '2 1/2'
        TabOrder = 19
      end
      object rBSW21: TRadioButton
        Left = 274
        Top = 88
        Width = 80
        Height = 19
        Caption = '2 3/4'
        TabOrder = 20
      end
      object rBSW22: TRadioButton
        Left = 274
        Top = 113
        Width = 80
        Height = 19
        Caption = '3'
        TabOrder = 21
      end
      object rBSW23: TRadioButton
        Left = 274
        Top = 138
        Width = 80
        Height = 19
        Caption = '3 1/4'
        TabOrder = 22
      end
      object rBSW24: TRadioButton
        Left = 274
        Top = 163
        Width = 80
        Height = 19
        Caption = '3 1/2'
        TabOrder = 23
      end
      object rBSW25: TRadioButton
        Left = 360
        Top = 38
        Width = 80
        Height = 19
        Caption = '3 3/4'
        TabOrder = 24
      end
      object rBSW26: TRadioButton
        Left = 360
        Top = 63
        Width = 80
        Height = 19
        Caption = '4'
        TabOrder = 25
      end
      object rBSW27: TRadioButton
        Left = 360
        Top = 88
        Width = 80
        Height = 19
        Caption = '4 1/2'
        TabOrder = 26
      end
      object rBSW28: TRadioButton
        Left = 360
        Top = 113
        Width = 80
        Height = 19
        Caption = '5'
        TabOrder = 27
      end
      object rBSW29: TRadioButton
        Left = 360
        Top = 138
        Width = 80
        Height = 19
        Caption = '5 1/2'
        TabOrder = 28
      end
      object rBSW30: TRadioButton
        Left = 360
        Top = 163
        Width = 80
        Height = 19
        Caption = '6'
        TabOrder = 29
      end
    end
    object tsW2: TTabSheet
      Caption = '3'
      object lInstr2: TLabel
        Left = 12
        Top = 10
        Width = 400
        Height = 15
        Caption = 'Select Fraction (Inch)'
      end
      object rBSF1: TRadioButton
        Left = 16
        Top = 38
        Width = 80
        Height = 19
        Caption = '3/16'
        TabOrder = 0
      end
      object rBSF2: TRadioButton
        Left = 16
        Top = 63
        Width = 80
        Height = 19
        Caption = '7/32'
        TabOrder = 1
      end
      object rBSF3: TRadioButton
        Left = 16
        Top = 88
        Width = 80
        Height = 19
        Caption = '1/4'
        TabOrder = 2
      end
      object rBSF4: TRadioButton
        Left = 16
        Top = 113
        Width = 80
        Height = 19
        Caption = '9/32'
        TabOrder = 3
      end
      object rBSF5: TRadioButton
        Left = 16
        Top = 138
        Width = 80
        Height = 19
        Caption = '5/16'
        TabOrder = 4
      end
      object rBSF6: TRadioButton
        Left = 16
        Top = 163
        Width = 80
        Height = 19
        Caption = '3/8'
        TabOrder = 5
      end
      object rBSF7: TRadioButton
        Left = 102
        Top = 38
        Width = 80
        Height = 19
        Caption = '7/16'
        TabOrder = 6
      end
      object rBSF8: TRadioButton
        Left = 102
        Top = 63
        Width = 80
        Height = 19
        Caption = '1/2'
        TabOrder = 7
      end
      object rBSF9: TRadioButton
        Left = 102
        Top = 88
        Width = 80
        Height = 19
        Caption = '9/16'
        TabOrder = 8
      end
      object rBSF10: TRadioButton
        Left = 102
        Top = 113
        Width = 80
        Height = 19
        Caption = '5/8'
        TabOrder = 9
      end
      object rBSF11: TRadioButton
        Left = 102
        Top = 138
        Width = 80
        Height = 19
        Caption = '11/16'
        TabOrder = 10
      end
      object rBSF12: TRadioButton
        Left = 102
        Top = 163
        Width = 80
        Height = 19
        Caption = '3/4'
        TabOrder = 11
      end
      object rBSF13: TRadioButton
        Left = 188
        Top = 38
        Width = 80
        Height = 19
        Caption = '7/8'
        TabOrder = 12
      end
      object rBSF14: TRadioButton
        Left = 188
        Top = 63
        Width = 80
        Height = 19
        Caption = '1'
        TabOrder = 13
      end
      object rBSF15: TRadioButton
        Left = 188
        Top = 88
        Width = 80
        Height = 19
        Caption = '1 1/8'
        TabOrder = 14
      end
      object rBSF16: TRadioButton
        Left = 188
        Top = 113
        Width = 80
        Height = 19
        Caption = '1 1/4'
        TabOrder = 15
      end
      object rBSF17: TRadioButton
        Left = 188
        Top = 138
        Width = 80
        Height = 19
        Caption = '1 3/8'
        TabOrder = 16
      end
      object rBSF18: TRadioButton
        Left = 188
        Top = 163
        Width = 80
        Height = 19
        Caption = '1 1/2'
        TabOrder = 17
      end
      object rBSF19: TRadioButton
        Left = 274
        Top = 38
        Width = 80
        Height = 19
        Caption = '1 5/8'
        TabOrder = 18
      end
      object rBSF20: TRadioButton
        Left = 274
        Top = 63
        Width = 80
        Height = 19
        Caption = '1 3/4'
        TabOrder = 19
      end
      object rBSF21: TRadioButton
        Left = 274
        Top = 88
        Width = 80
        Height = 19
        Caption = '2'
        TabOrder = 20
      end
      object rBSF22: TRadioButton
        Left = 274
        Top = 113
        Width = 80
        Height = 19
        Caption = '2 1/4'
        TabOrder = 21
      end
      object rBSF23: TRadioButton
        Left = 274
        Top = 138
        Width = 80
        Height = 19
        Caption = '2 1/2'
        TabOrder = 22
      end
      object rBSF24: TRadioButton
        Left = 274
        Top = 163
        Width = 80
        Height = 19
        Caption = '2 3/4'
        TabOrder = 23
      end
      object rBSF25: TRadioButton
        Left = 360
        Top = 38
        Width = 80
        Height = 19
        Caption = '3'
        TabOrder = 24
      end
      object rBSF26: TRadioButton
        Left = 360
        Top = 63
        Width = 80
        Height = 19
        Caption = '3 1/4'
        TabOrder = 25
      end
      object rBSF27: TRadioButton
        Left = 360
        Top = 88
        Width = 80
        Height = 19
        Caption = '3 1/2'
        TabOrder = 26
      end
      object rBSF28: TRadioButton
        Left = 360
        Top = 113
        Width = 80
        Height = 19
        Caption = '3 3/4'
        TabOrder = 27
      end
      object rBSF29: TRadioButton
        Left = 360
        Top = 138
        Width = 80
        Height = 19
        Caption = '4'
        TabOrder = 28
      end
      object rBSF30: TRadioButton
        Left = 360
        Top = 163
        Width = 80
        Height = 19
        Caption = '4 1/4'
        TabOrder = 29
      end
    end
    object tsW3: TTabSheet
      Caption = '4'
      object lInstr3: TLabel
        Left = 12
        Top = 10
        Width = 400
        Height = 15
        Caption = 'Specify Diameter (Inch) and Pitch (Tpi)'
      end
      object lD: TLabel
        Left = 24
        Top = 48
        Width = 80
        Height = 15
        Caption = 'Diameter'
      end
      object lTPI: TLabel
        Left = 24
        Top = 82
        Width = 80
        Height = 15
        Caption = 'Pitch (Tpi)'
      end
      object eD: TEdit
        Left = 110
        Top = 44
        Width = 100
        Height = 23
        TabOrder = 0
      end
      object cInch: TComboBox
        Left = 220
        Top = 44
        Width = 80
        Height = 23
        Style = csDropDownList
        TabOrder = 1
        Items.Strings = (
          'Inch'
          'mm')
      end
      object eTPI: TEdit
        Left = 110
        Top = 78
        Width = 100
        Height = 23
        TabOrder = 2
      end
    end
    object tsW4: TTabSheet
      Caption = '5'
      object lInstr4: TLabel
        Left = 12
        Top = 10
        Width = 400
        Height = 15
        Caption = 'Select Tolerance'
      end
      object rClose: TRadioButton
        Left = 24
        Top = 44
        Width = 90
        Height = 19
        Caption = 'Close'
        Checked = True
        TabOrder = 0
        TabStop = True
      end
      object rMedium: TRadioButton
        Left = 24
        Top = 72
        Width = 90
        Height = 19
        Caption = 'Medium'
        TabOrder = 1
      end
      object rNormalFree: TRadioButton
        Left = 24
        Top = 100
        Width = 90
        Height = 19
        Caption = 'Normal'
        TabOrder = 2
      end
      object cExtraToll: TCheckBox
        Left = 24
        Top = 140
        Width = 220
        Height = 19
        Caption = 'Calcualte Wide Tolerance'
        Checked = True
        TabOrder = 3
      end
    end
  end
  object bBack: TButton
    Left = 206
    Top = 263
    Width = 80
    Height = 25
    Caption = 'Back'
    TabOrder = 1
    OnClick = bBackClick
  end
  object bNext: TButton
    Left = 294
    Top = 263
    Width = 80
    Height = 25
    Caption = 'Next'
    Default = True
    TabOrder = 2
    OnClick = bNextClick
  end
  object bCancel: TButton
    Left = 382
    Top = 263
    Width = 80
    Height = 25
    Caption = '&Cancel'
    ModalResult = 2
    TabOrder = 3
  end
end
